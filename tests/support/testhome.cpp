// Every test program runs in the same surroundings on any machine, made before main() and
// removed at its end; the programs it starts keep them, or what it changes of them:
// - a home of its own: Qt's file-dialog history, GStreamer's plugin cache and anything else a
//   test makes Qt or a library write stays out of the user's home;
// - no display (offscreen unless a test asks for other screens of it), the C.UTF-8 locale;
// - no session bus, sound server or print system of the desktop's: the shows keep out of the
//   desktop's media controls, and the tests of the bus and of printing start their own;
// - GStreamer with the player's plugins only, none of which is an audio sink: the player plays
//   in real time into the fake sink that autoaudiosink falls back to, whatever the machine has
//   installed (a sound card, PulseAudio, OpenAL, JACK...) and without a word from those.
// Linked into each test program.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

class TestHome
{
public:
    TestHome()
    {
        if (qEnvironmentVariableIsSet("ALBUM_TEST_HOME"))
            return; // started by a test program, in its surroundings
        if (!m_dir.isValid())
            qFatal("cannot make the test's home: %s", qPrintable(m_dir.errorString()));
        const QByteArray home = m_dir.path().toLocal8Bit();
        QDir(m_dir.path())
            .mkdir(QStringLiteral("runtime"),
                   QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QList<std::pair<const char *, QByteArray>> environment = {
            {"ALBUM_TEST_HOME", home},
            {"HOME", home},
            {"XDG_CONFIG_HOME", home + "/.config"},
            {"XDG_DATA_HOME", home + "/.local/share"},
            {"XDG_STATE_HOME", home + "/.local/state"},
            {"XDG_CACHE_HOME", home + "/.cache"},
            {"XDG_RUNTIME_DIR", home + "/runtime"},
            {"LANG", "C.UTF-8"},
            {"LC_ALL", "C.UTF-8"},
            {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + home + "/no-session-bus"},
            {"PULSE_SERVER", "unix:" + home + "/no-sound-server"},
            {"CUPS_SERVER", home + "/no-print-system"},
            {"GST_PLUGIN_LOADING_WHITELIST", ALBUM_TEST_GSTREAMER_PLUGINS},
        };
        for (const auto &[name, value] : environment)
            qputenv(name, value);
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "GST_PLUGIN_PATH",
                                 "GST_PLUGIN_PATH_1_0", "GST_PLUGIN_FEATURE_RANK"})
            qunsetenv(name);
        if (!qgetenv("QT_QPA_PLATFORM").startsWith("offscreen"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
    }

private:
    QTemporaryDir m_dir{QDir::tempPath() + QStringLiteral("/album-test-home-XXXXXX")};
};

const TestHome testHome;

} // namespace
