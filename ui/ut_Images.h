// ut_Images: the program's own images: the program icon (drawn once as SVG,
// shared with the installed icon theme files), the 27 images of the main image
// list (toolbar, menus, row images), painted in code, and the three tray image
// lists, made from the program icon.
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

// The program icon in the usual sizes from 16 to 256 pixels: the window icon,
// and the same drawing the installed menu entry shows.
QIcon ProgramIcon();

// The images of a tray image list (16 by 16, with a 32 by 32 form), all drawn from
// the program icon: passive two (the program icon itself first, then with a lighter
// badge), active two (green badge, its arrows a quarter turn apart), disabled one
// (grey badge, struck through).
QList<QIcon> TrayImages(TTrayImageList list);
