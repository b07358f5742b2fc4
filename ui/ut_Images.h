// ut_Images: the program's own images, painted in code: the 27 images of the
// main image list (toolbar, menus, row images) and the three tray image lists.
#pragma once

#include <QIcon>
#include <QList>

#include "VantorHost.h"

// Positions in the main image list that the window uses.
enum TMainImage {
    imNew = 0,
    imOpen = 1,
    imSave = 2,
    imSaveAs = 3,
    imExit = 4,
    imTray = 5,
    imDelete = 6,
    imEdit = 7,
    imWindowsFolders = 8,
    imRun = 9,
    imStop = 10,
    imPause = 11,
    imExportLanguage = 12,
    imOriginalLanguage = 13,
    imLanguage = 14,
    imOptions = 15,
    imHelp = 16,
    imRunning = 17, // row of an entry whose run is in progress
    imUpdate = 18,
    imEntry = 19, // Add Entry, and the row of an idle entry
    imAbout = 20,
    imSelectFolder = 21,
    imMainCount = 27,
};

// Image `index` of the main image list (16 by 16, with a 32 by 32 form for
// high-density screens); an empty icon outside 0..26.
QIcon MainImage(int index);

// The images of a tray image list: two for active, two for passive, one for disabled.
QList<QIcon> TrayImages(TTrayImageList list);
