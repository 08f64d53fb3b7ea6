#pragma once
// The pieces both album windows (the CD album manager and the file album editor) are built
// from: the album and song properties dialogs, each in a CD form and a file form, the small
// dialog that asks for a search text, the album tree's item text, and the file dialogs of the
// import and export commands behind a chooser a test can replace.
//
// Album texts keep a line break as a single CR; the edit boxes show ordinary line breaks.

#include <QDialog>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

class Album;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// CD albums name a disc and its tracks; file albums name an album of files (the name is the
// album's key) and their paths.
enum class AlbumForm { Cd, File };

// The item text of an album in a tree: "artist / title", the title alone without an artist,
// "Untitled" in place of a missing title.
QString AlbumTreeText(std::string_view title, std::string_view artist);

// A stored album text (line breaks as CR) for an edit box, and back.
QString EditTextOf(std::string_view stored);
std::string StoredTextOf(const QString& edited);

struct AlbumProperties
{
    std::string title; // the album's name in the file form
    std::string artist;
    std::string description; // line breaks as CR
    std::string genre;       // "" for none
};

class AlbumPropertiesDialog : public QDialog
{
    Q_OBJECT
public:
    // What exec() returns when the user asked for the disc's titles from the CD database
    // instead: nothing was stored.
    static constexpr int ReadFromCddb = 2;
    // The longest album name of the file form, in characters.
    static constexpr int kFileNameLimit = 32;
    // The ids of the two CD database buttons.
    static constexpr int kServerButtonId = 1216;
    static constexpr int kReadButtonId = 33265;

    // The genre list's entries after "(No Genre)": the CD database's categories.
    static const std::vector<std::string>& Genres();

    // In the CD form the two CD database buttons are enabled; the server button runs
    // editServers (the caller's CD database server list editor).
    AlbumPropertiesDialog(AlbumForm form, const AlbumProperties& values,
                          std::function<void(QWidget*)> editServers = {},
                          QWidget* parent = nullptr);

    // The values as edited, each text trimmed at both ends.
    AlbumProperties values() const;

    QLineEdit* titleEdit() const { return m_title; }
    QLineEdit* artistEdit() const { return m_artist; }
    QPlainTextEdit* descriptionEdit() const { return m_description; }
    QComboBox* genreBox() const { return m_genre; }
    QPushButton* serverButton() const { return m_server; }
    QPushButton* readButton() const { return m_read; }

    // Refuses an empty name, and in the file form one longer than kFileNameLimit, with a
    // message; the dialog then stays open.
    void accept() override;

private:
    AlbumForm m_form;
    std::function<void(QWidget*)> m_editServers;
    QLineEdit* m_title = nullptr;
    QLineEdit* m_artist = nullptr;
    QPlainTextEdit* m_description = nullptr;
    QComboBox* m_genre = nullptr;
    QPushButton* m_server = nullptr;
    QPushButton* m_read = nullptr;
};

// Edits one song's title (a file album's path) and description, stepping through the album's
// songs: Next and Previous wrap around. The texts, trimmed, are stored into the album's song
// before each step and on OK; steps already taken stay stored after Cancel. The album is not
// saved here.
class SongPropertiesDialog : public QDialog
{
    Q_OBJECT
public:
    SongPropertiesDialog(AlbumForm form, Album& album, int song, QWidget* parent = nullptr);

    int song() const { return m_song; }
    void next();
    void previous();

    QLabel* numberLabel() const { return m_number; }
    QLineEdit* titleEdit() const { return m_title; }
    QPlainTextEdit* descriptionEdit() const { return m_description; }
    QPushButton* nextButton() const { return m_next; }
    QPushButton* previousButton() const { return m_previous; }

    void accept() override;

private:
    void store();
    void showSong(int song);

    Album& m_album;
    int m_song = 0;
    QLabel* m_number = nullptr;
    QLineEdit* m_title = nullptr;
    QPlainTextEdit* m_description = nullptr;
    QPushButton* m_next = nullptr;
    QPushButton* m_previous = nullptr;
};

// Asks for the text to find; an empty text is refused with a message.
class FindTextDialog : public QDialog
{
    Q_OBJECT
public:
    FindTextDialog(const std::string& text, QWidget* parent = nullptr);
    std::string text() const;
    QLineEdit* edit() const { return m_edit; }
    void accept() override;

private:
    QLineEdit* m_edit = nullptr;
};

// The file dialogs of the import and export commands. filter is in the classic form
// "Description|*.a;*.b|...||"; defaultSuffix is added to a name typed without one. Saving
// asks before replacing a file; opening takes only a file that exists. The path chosen, ""
// when the user cancelled.
struct FileChoice
{
    enum Mode { Open, Save };
    Mode mode = Open;
    QString filter;
    QString defaultSuffix;
};
using FileChooser = std::function<std::string(QWidget* parent, const FileChoice& choice)>;
std::string ChooseFileWithDialog(QWidget* parent, const FileChoice& choice);

// A classic filter as the name filters of a Qt file dialog: "Text Files (*.txt)|*.txt|" gives
// "Text Files (*.txt)"; the patterns always end the entry, separated by blanks.
QStringList FileDialogFilters(const QString& classicFilter);
