// The lowest normal priority is set for the calling thread alone.
#include <QTest>
#include <thread>
#include "ThreadPriority.h"

class tst_ThreadPriority : public QObject {
    Q_OBJECT
private slots:
    void onlyTheCallingThreadIsLowered()
    {
        const int mainNice = CurrentThreadNiceValue();
        const int mainIo = CurrentThreadIoPriority();
        int nice = 0, io = 0;
        bool ok = false;
        std::thread worker([&] {
            ok = SetCurrentThreadLowestNormalPriority();
            nice = CurrentThreadNiceValue();
            io = CurrentThreadIoPriority();
            // A second call never lowers it further than the cap.
            SetCurrentThreadLowestNormalPriority();
            QVERIFY(CurrentThreadNiceValue() <= 19);
        });
        worker.join();
        QVERIFY(ok);
        QCOMPARE(nice, std::min(19, mainNice + kLowestNormalNiceStep));
        QCOMPARE(io, LowestBestEffortIoPriority());
        QCOMPARE(CurrentThreadNiceValue(), mainNice);
        QCOMPARE(CurrentThreadIoPriority(), mainIo);
    }

    // A worker is often started by the scheduler, itself already lowered; it
    // must land on the same level as one started by the main thread.
    void threadMadeByLoweredThreadGetsTheSameLevel()
    {
        const int expected = std::min(19, CurrentThreadNiceValue() + kLowestNormalNiceStep);
        int outer = 0, inner = 0;
        std::thread scheduler([&] {
            SetCurrentThreadLowestNormalPriority();
            outer = CurrentThreadNiceValue();
            std::thread worker([&] {
                SetCurrentThreadLowestNormalPriority();
                inner = CurrentThreadNiceValue();
            });
            worker.join();
        });
        scheduler.join();
        QCOMPARE(outer, expected);
        QCOMPARE(inner, expected);
    }
};

QTEST_GUILESS_MAIN(tst_ThreadPriority)
#include "tst_ThreadPriority.moc"
