#pragma once

#include "runtime/fileprobe.h"
#include "runtime/int16.h"
#include "pictures/picturesource.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <limits>

class CommandGate;
class FileWorker;
class ImageControl;
class LARK_M1;
class MediaPlayerControl;
class PictureBox;
class PlatformServices;
class QPushButton;
class QScreen;
class ShowClock;
struct SharedState;

// The viewer window: shows the pictures one after the other on a dark green background, with
// the pause/continue, print and leave buttons at its lower right. Its first paint after a
// confirmation starts the show.
class LARK_M7 : public QWidget
{
    Q_OBJECT

public:
    // How the show stands, as those outside the window see it: its picture loop running and no
    // stop asked for (running), stopped by a pause with a picture to go on with (paused), or
    // neither (ended: not started yet, over, or the viewer left). While it runs, pauses tells
    // whether the pause/continue button pauses it; after a key press it continues instead.
    struct ShowStatus
    {
        enum Stage { Ended, Running, Paused };
        Stage stage = Ended;
        bool pauses = false;
        bool operator==(const ShowStatus &) const = default;
    };

    // The show's file work goes to the workers: fileChecks lists folders and probes files,
    // pictures decodes, sharing with the program's other decodes what decodes share; the gate
    // holds the handlers while the show waits for them.
    LARK_M7(SharedState &state, PlatformServices &services, MediaPlayerControl &player,
            LARK_M1 &setup, ShowClock &clock, CommandGate &gate, FileWorker &fileChecks,
            FileWorker &pictures, const PictureSource::Shared &decodes);
    ~LARK_M7() override;

    // Handlers
    void Form_Load();
    void Form_Resize();
    void Form_Paint();
    void Command1_Click(); // print
    void Command2_Click(); // leave
    void Command3_Click(); // pause / continue
    void Form_Click();     // a click on the background
    void Form_KeyPress(Int16 &KeyAscii);
    void Image1_Click();
    void Picture1_Click();

    // Deepest nesting of the picture loop: a continue at this depth starts no activation.
    static constexpr int MaxNestedLoops = 32;
    int activeLoops() const { return m_activeLoops; }
    // Where the show gets its pictures; it decodes the next ones while the loop shows one and
    // waits.
    PictureSource &pictureSource() { return m_pictures; }
    // Takes the first picture of the show that a confirmation has just asked for from
    // firstPicture, where it is decoded or decoding, unless the show's own pictures are decoding
    // already (or decoding ahead is off): the show takes it at its turn while its file is
    // unchanged, as any picture decoded ahead.
    void prepareFirstPicture(PictureSource &firstPicture);
    // Where a viewer opening maximized on screen decodes its pictures before it stands: for a
    // window as large as the screen, which none is larger than; made smaller for the window
    // once it stands.
    static PictureDecoder::Boxes boxesWhenMaximized(const QScreen *screen);
    bool wasLeft() const { return m_left; }
    ShowStatus showStatus() const { return m_status; }
    // The whole screen, without frame or panels (on), or the maximized window (off), as F11
    // switches it; the show goes on. A left viewer stays hidden.
    void setFullScreen(bool on);
    // Runs handler as a click on one of the window's controls runs its handler: held while
    // the show waits for its file work, dropped when the window has gone by then; one that
    // leaves the viewer runs at once, and the show stops waiting.
    void runAsClick(const std::function<void()> &handler, bool leaves = false)
    {
        guarded(handler, leaves);
    }

    // One pass of the show from the current picture; returns at its loop end, or at once,
    // returning false, when another activation holds the loop.
    bool RunPictureLoop();

    // Background music: whether the MP3 of a sound path exists (ER 0) and, in MUSICA, the
    // path settled on; and the music step run after every shown picture.
    void CONTROLLO_ESISTENZA_MP3(QString &MUSICA, Int16 &ER);
    void RunMusicStep();

    // The two places of the buttons, from the window's current outer size.
    void applyRunningLayout();
    void applyPausedLayout();

    // The window's outer size (frame included), twips.
    float outerWidth() const;
    float outerHeight() const;

    // Controls, by their design names
    QPushButton *Command1 = nullptr; // "STAMPA"
    QPushButton *Command2 = nullptr; // "USCITA"
    QPushButton *Command3 = nullptr; // "PAUSA" / "Continua"
    PictureBox *Picture1 = nullptr;  // hidden measuring box
    ImageControl *Image1 = nullptr;  // the shown picture

signals:
    // The user has left the viewer (the window is hidden and will go when its show is over);
    // byFrame when the window's frame closed it.
    void left(bool byFrame);
    // The picture loop has started running (true), or its last activation has ended (false).
    void loopRunning(bool running);
    // The show's status has changed: told where the program-wide flags change, once.
    void showStatusChanged(const LARK_M7::ShowStatus &status);
    // The window has gone to the whole screen (true) or come back from it (false).
    void fullScreenChanged(bool fullScreen);
    // The caption has named the picture at path, whose turn has come; two pictures may read
    // alike.
    void pictureNamed(const QString &path);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void createControls();
    // The layout of the show's state, for the window's current size.
    void applyLayoutForSize();
    void guarded(const std::function<void()> &handler, bool leaves = false);

    // The show, one picture: false when the loop is to go to its end.
    bool showCurrentPicture(bool &errorHandlerArmed);
    // Loads the current picture into the measuring box; false when its file was no longer
    // there to read (a quiet stop, as after a failed probe).
    bool loadIntoPictureBox();
    // Where a picture is decoded to, device pixels: the image's place for either shape in the
    // window as it is now, no larger than the screen that shows it.
    PictureDecoder::Boxes pictureBoxes() const;
    // The same for a window of the given outer size (twips) on screen, of ratio device pixels
    // a pixel.
    static PictureDecoder::Boxes pictureBoxes(float outerWidth, float outerHeight,
                                              const QScreen *screen, qreal ratio);
    // Whether path opens as a regular file, found out on the worker; notes its stamp.
    bool probeFile(const QString &path);
    // Keeps the pictures that CurrentName and the names after it name decoding ahead: as many
    // as the source decodes ahead, or count when fewer.
    void prefetchAhead(int count = std::numeric_limits<int>::max());
    void sizeImage(double pictureWidth, double pictureHeight);
    bool waitDelay(qint64 startMs);
    bool countPicture();
    void reportPictureError(const class RuntimeError &error);
    void loopEnd();
    // Whether the loop must stop at a stop test: a stop was requested, or the viewer was left.
    bool stopRequested() const;
    void restoreIfMinimized();
    // Names the picture in the window's caption, exactly as given.
    void setCaption(const QString &caption);
    void PrintViewer();
    // How the music finds sound files: on the worker, while the window waits.
    std::function<QString(const QString &)> findSound();
    void leave(bool byFrame);
    // Tells the show's status from the flags, where they may have changed.
    void announceShow();

    SharedState &m_state;
    PlatformServices &m_services;
    MediaPlayerControl &m_player;
    LARK_M1 &m_setup;
    ShowClock &m_clock;
    CommandGate &m_gate;
    FileWorker &m_fileChecks;
    std::optional<FileProbe::Stamp> m_probedStamp; // the current picture's file at its probe

    int m_activeLoops = 0;  // activations of the picture loop on the stack
    int m_handlerDepth = 0; // handlers of this window on the stack
    bool m_left = false;    // the user has left this viewer
    ShowStatus m_status;
    PictureSource m_pictures;
};
