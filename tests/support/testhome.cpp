// Every test program runs with a home of its own, made before main() and removed at its end:
// Qt's file-dialog history, GStreamer's plugin cache and anything else a test makes Qt or a
// library write there stays out of the user's home. Nor does a test reach the desktop's session
// bus: the shows it runs keep out of the desktop's media controls; the tests of the bus start
// a bus of their own. Linked into each test program.
#include <QByteArray>
#include <QDir>
#include <QTemporaryDir>

namespace {

class TestHome
{
public:
    TestHome()
    {
        if (!m_dir.isValid())
            qFatal("cannot make the test's home: %s", qPrintable(m_dir.errorString()));
        const QByteArray home = m_dir.path().toLocal8Bit();
        qputenv("HOME", home);
        qputenv("XDG_CONFIG_HOME", home + "/.config");
        qputenv("XDG_DATA_HOME", home + "/.local/share");
        qputenv("XDG_STATE_HOME", home + "/.local/state");
        qputenv("XDG_CACHE_HOME", home + "/.cache");
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + home + "/no-session-bus");
    }

private:
    QTemporaryDir m_dir{QDir::tempPath() + QStringLiteral("/album-test-home-XXXXXX")};
};

const TestHome testHome;

} // namespace
