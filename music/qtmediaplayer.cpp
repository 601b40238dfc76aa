#include "music/qtmediaplayer.h"

#include "runtime/fileprobe.h"
#include "runtime/paths.h"
#include "desktop/windowlook.h"

#include <QAudioOutput>
#include <QCheckBox>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QMediaPlayer>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QSlider>
#include <QStyle>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <unistd.h>

namespace {

// GStreamer's JACK output takes a lock shared between processes; a process that ends while
// holding it (an "F I N E" at the wrong moment) leaves every later player hanging at start.
// The program never wants JACK, so it is kept out before GStreamer starts.
void keepJackOut()
{
    static const bool done = [] {
        QByteArray ranks = qgetenv("GST_PLUGIN_FEATURE_RANK");
        if (!ranks.contains("jackaudiosink")) {
            if (!ranks.isEmpty())
                ranks += ',';
            ranks += "jackaudiosink:NONE";
            qputenv("GST_PLUGIN_FEATURE_RANK", ranks);
        }
        return true;
    }();
    Q_UNUSED(done);
}

// The stop symbol, a square, drawn here: the style's own would look through the desktop's icon
// themes, which costs a good part of the program's start.
QIcon stopIcon()
{
    QPixmap square(16, 16);
    square.fill(Qt::transparent);
    QPainter painter(&square);
    painter.fillRect(QRect(3, 3, 10, 10), QColor(40, 40, 40));
    return QIcon(square);
}

} // namespace

QtMediaPlayer::QtMediaPlayer(QWidget *parent) : QWidget(parent)
{
    keepJackOut();

    m_musicSwitch = new QCheckBox(tr("Musica"), this);
    m_musicSwitch->setChecked(true);
    m_musicSwitch->setToolTip(tr("Sottofondo musicale durante la visione"));

    m_stopButton = new QToolButton(this);
    m_stopButton->setIcon(stopIcon());
    m_stopButton->setToolTip(tr("Ferma il brano"));
    m_stopButton->setAutoRaise(true);

    m_volume = new QSlider(Qt::Horizontal, this);
    m_volume->setRange(0, 100);
    m_volume->setValue(80);
    m_volume->setToolTip(tr("Volume"));

    m_position = new QProgressBar(this);
    m_position->setTextVisible(false);
    m_position->setMaximumHeight(8);
    m_position->setRange(0, 1);

    m_time = new QLabel(QStringLiteral("0:00"), this);

    // What the controls do, for screen readers; the tool tips are their descriptions.
    WindowLook::describe(this, tr("Lettore musicale"),
                         tr("Il sottofondo musicale: brano in corso, volume e posizione"));
    m_stopButton->setAccessibleName(tr("Ferma il brano"));
    WindowLook::describe(m_volume, tr("Volume"), tr("Il volume della musica"));
    WindowLook::describe(m_position, tr("Posizione nel brano"),
                         tr("Quanto del brano è già stato suonato"));
    m_time->setAccessibleDescription(tr("Tempo trascorso del brano"));

    auto *top = new QHBoxLayout;
    top->setContentsMargins(0, 0, 0, 0);
    top->setSpacing(4);
    top->addWidget(m_musicSwitch);
    top->addWidget(m_stopButton);
    top->addWidget(m_volume, 1);
    top->addWidget(m_time);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(2, 0, 2, 1);
    column->setSpacing(1);
    column->addLayout(top);
    column->addWidget(m_position);

    setAutoFillBackground(true);

    connect(m_stopButton, &QToolButton::clicked, this, &QtMediaPlayer::StopPlayer);
    connect(m_volume, &QSlider::valueChanged, this, [this](int value) {
        if (m_output)
            m_output->setVolume(float(value) / 100.0f);
    });
}

void QtMediaPlayer::createPlayer()
{
    // The sound output and the player cost a good part of the program's start; they come
    // with the first track.
    if (!m_output) {
        m_output = new QAudioOutput(this);
        m_output->setVolume(float(m_volume->value()) / 100.0f);
    }
    m_player = new QMediaPlayer(this);
    m_player->setAudioOutput(m_output);
    connect(m_player, &QMediaPlayer::positionChanged, this, &QtMediaPlayer::showPosition);
    connect(m_player, &QMediaPlayer::durationChanged, this,
            [this](qint64 duration) { m_position->setRange(0, int(qMax<qint64>(1, duration))); });
    connect(m_player, &QMediaPlayer::mediaStatusChanged, this,
            [this](QMediaPlayer::MediaStatus status) {
                if (status == QMediaPlayer::EndOfMedia)
                    endOfMedia();
                else if (status == QMediaPlayer::InvalidMedia)
                    finishTrack();
            });
    connect(m_player, &QMediaPlayer::errorOccurred, this, [this](QMediaPlayer::Error error) {
        if (error != QMediaPlayer::NoError) {
            m_failed = true;
            finishTrack();
        }
    });
}

QtMediaPlayer::~QtMediaPlayer()
{
    if (m_descriptor >= 0)
        ::close(m_descriptor);
}

bool QtMediaPlayer::GetMusicSwitch()
{
    return m_musicSwitch->isChecked();
}

int QtMediaPlayer::GetPlayerState()
{
    return m_playing ? Playing : 0;
}

void QtMediaPlayer::StopPlayer()
{
    // After a failed track the player has nothing to stop, and stopping it would block.
    if (m_player && !m_failed && m_player->playbackState() != QMediaPlayer::StoppedState)
        m_player->stop();
    finishTrack();
}

void QtMediaPlayer::SetPlayerFile(const QString &path)
{
    // A player that has met a broken track blocks for about a second on its next source;
    // a fresh one starts at once.
    if (m_failed || !m_player) {
        delete m_player;
        createPlayer();
    }
    m_failed = false;
    m_restarted = false;
    m_file = path;
    // Qt reads a file: URL's path back as text, which loses the bytes of a name that is no
    // UTF-8: such a file goes to the player as the descriptor the program opens on it. The new
    // one is opened before the old one is closed, so that the player never sees the same
    // number, taken for the same source, twice in a row.
    const int previous = m_descriptor;
    m_descriptor = -1;
    QUrl source = QUrl::fromLocalFile(path);
    if (Paths::toFileSystem(path) != QFile::encodeName(path)) {
        m_descriptor = FileProbe::openRegularFile(path);
        if (m_descriptor >= 0)
            source = QUrl::fromLocalFile(QStringLiteral("/proc/self/fd/%1").arg(m_descriptor));
    }
    m_player->setSource(source);
    if (previous >= 0)
        ::close(previous);
    // The source may already have been found unplayable while it was being set.
    m_playing = !m_failed;
    if (m_playing)
        m_player->play();
    showPosition(0);
    if (m_playing)
        emit trackStarted();
}

QString QtMediaPlayer::currentFile() const
{
    return m_file;
}

void QtMediaPlayer::endOfMedia()
{
    // A fresh GStreamer player may cut a track to nothing: the seek it makes while loading stops
    // at the duration, read as 0 while still unknown, and the end comes at once, unplayed. Such a
    // track starts again, once; from its end play() seeks to the start with the duration known.
    if (m_playing && m_player->position() <= 0 && !m_restarted) {
        m_restarted = true;
        m_player->play();
        return;
    }
    finishTrack();
}

void QtMediaPlayer::finishTrack()
{
    if (!m_playing)
        return;
    m_playing = false;
    emit trackFinished();
}

void QtMediaPlayer::showPosition(qint64 milliseconds)
{
    m_position->setValue(int(qMin<qint64>(milliseconds, m_position->maximum())));
    const qint64 seconds = milliseconds / 1000;
    m_time->setText(
        QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0')));
}
