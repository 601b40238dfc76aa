#pragma once

#include <QWidget>

#include <functional>

class CommandGate;
class MediaPlayerControl;
class PlatformServices;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
struct SharedState;

// The setup window: the picture folder, the extension, the delay and the cyclic option;
// "CONFERMA" opens the viewer, "F I N E" ends the program. It hosts the media player's
// control bar and the now-playing label. Controls are placed in twips as designed.
class LARK_M1 : public QWidget
{
    Q_OBJECT

public:
    // openViewer loads the viewer when it is not loaded yet and shows it, not modal;
    // viewerOpen tells whether the viewer is on the screen.
    // playerBar is the media player's control bar, placed on this window (may be null).
    // The gate holds the handlers while the show waits for its file work; "F I N E" passes.
    LARK_M1(SharedState &state, PlatformServices &services, MediaPlayerControl &player,
            CommandGate &gate, QWidget *playerBar, std::function<void()> openViewer,
            std::function<bool()> viewerOpen = {});

    // Handlers
    void Form_Load();
    void Command1_Click(); // Browse
    void Command2_Click(); // Confirm
    void Command3_Click(); // End

    // The folder and the extension "CONFERMA" would take now, as it takes them: the folder typed
    // when it differs from the browsed one (with its closing separator), else the browsed one;
    // the extension after a dot. The folder is empty when the field is blank; whether it is a
    // folder is not looked at here.
    struct ShowFiles
    {
        QString folder;
        QString extension;
    };
    ShowFiles filesToConfirm() const;

    // A path given to the program at start: a folder fills the folder field as a Browse to a
    // file in it would, a file fills its folder, and a picture also sets the extension to its
    // own. A path that is neither a folder nor a file gets a message and changes nothing.
    void openPath(const QString &path);

    // Controls, by their design names
    QLabel *Label1 = nullptr;
    QLineEdit *Text1 = nullptr;       // folder field
    QPushButton *Command1 = nullptr;  // "Sfoglia ..."
    QWidget *MediaPlayer1 = nullptr;  // the media player's control bar
    QPushButton *Command2 = nullptr;  // "CONFERMA"
    QPushButton *Command3 = nullptr;  // "F I N E"
    QLabel *Label2 = nullptr;
    QLineEdit *Text2 = nullptr;       // delay field, seconds
    QLabel *Label6_5 = nullptr;       // title shadow (element 5 of Label6)
    QLabel *Label6_4 = nullptr;       // title (element 4 of Label6)
    QCheckBox *Check1 = nullptr;      // cyclic option
    QLabel *Label3 = nullptr;         // now-playing label
    QLabel *Label4 = nullptr;
    QLineEdit *Text3 = nullptr;       // extension field, without the dot
    QLabel *Label5 = nullptr;

    static constexpr const char *FolderMissingMessage =
        "Indicare la cartella contenente immagini e suoni !!!";
    static constexpr const char *NoSuchFolderMessage = "La cartella indicata non esiste !!!";
    static constexpr const char *NoSuchPathMessage =
        "La cartella o l'immagine indicata non esiste !!!";

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void createControls();
    void guarded(const std::function<void()> &handler);
    // Takes the folder of a chosen file, and the delay, as Browse does.
    void takeFolderOf(const QString &file);

    SharedState &m_state;
    PlatformServices &m_services;
    MediaPlayerControl &m_player;
    CommandGate &m_gate;
    std::function<void()> m_openViewer;
    std::function<bool()> m_viewerOpen;
};
