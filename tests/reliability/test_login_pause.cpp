// Between the handshake and the login the program pauses for one second, on a
// coarse timer that may end the pause a little early or late (Qt allows 5 %).
// A unit must still be listening for the password when it comes: the
// simulator, as configured by default, must not go back to waiting for a
// handshake during that pause.

#include <QtTest>

#include "tests/support/window_rig.h"

using namespace quarn;
using namespace testsupport;
using Rig = testsupport::WindowRig;

class TestLoginPause : public QObject {
    Q_OBJECT
private slots:
    void cleanup() {
        resetProgram();
        useFastClock();
    }
    void defaultUnitWaitsOutThePause_data();
    void defaultUnitWaitsOutThePause();
};

void TestLoginPause::defaultUnitWaitsOutThePause_data() {
    QTest::addColumn<int>("pauseMs");
    QTest::newRow("pause ends 5 % early") << 950;
    QTest::newRow("pause ends 5 % late") << 1050;
}

void TestLoginPause::defaultUnitWaitsOutThePause() {
    QFETCH(int, pauseMs);
    setLinkClock({20, pauseMs});  // fast time-outs, the pause as the coarse timer may give it
    resetProgram();
    Rig rig(sim::Config{}, 64);
    rig.start();
    QCOMPARE(rig.boxes.prompts(), QStringList{kEndMessage});
    QVERIFY(rig.port->unit().waitForSessions(1, 2000));
    QCOMPARE(rig.lastImage(), rig.expectedImage());
}

QTEST_MAIN(TestLoginPause)
#include "test_login_pause.moc"
