#pragma once
// The ID3 tag dialog of the file album editor: shows a file's ID3 version 1 tag (or an empty
// one with no genre when the file carries none), edits title, artist, album, year, comment and
// genre, removes the tag, and writes it on OK. It promises:
// - a field takes no more than it can hold: 30 bytes (the year 4) as the tag stores the text,
//   in the legacy code page when that can hold it, else UTF-8;
// - OK with every text empty and no genre writes nothing;
// - a failed write or removal is told with the designed message and the system's reason, and
//   leaves the dialog open with what was typed;
// - a genre number the table does not name is shown as its number and kept.

#include "albums/id3tag.h"

#include <QDialog>

#include <string>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

class Id3TagDialog : public QDialog
{
    Q_OBJECT
public:
    explicit Id3TagDialog(const std::string& path, QWidget* parent = nullptr);

    // The record as it would be written now: texts trimmed, in the tag's bytes.
    Id3Tag tag() const;
    // Whether the file had a tag when the dialog opened.
    bool hadTag() const { return m_hadTag; }

    QLabel* fileLabel() const { return m_file; }
    QLineEdit* titleEdit() const { return m_title; }
    QLineEdit* artistEdit() const { return m_artist; }
    QLineEdit* albumEdit() const { return m_album; }
    QLineEdit* yearEdit() const { return m_year; }
    QLineEdit* commentEdit() const { return m_comment; }
    QComboBox* genreBox() const { return m_genre; }
    QPushButton* removeButton() const { return m_remove; }

    // Selects the genre of that number (-1: "(No Genre)").
    void selectGenre(int number);
    // The remove button: cuts the tag off the file and empties the fields.
    void removeTag();
    void accept() override;

private:
    void showTag(const Id3Tag& tag);

    std::string m_path;
    bool m_hadTag = false;
    // The tag as the file holds it: fields the user leaves alone keep their text in the
    // file's newer tags.
    Id3Tag m_before;
    QLabel* m_file = nullptr;
    QLineEdit* m_title = nullptr;
    QLineEdit* m_artist = nullptr;
    QLineEdit* m_album = nullptr;
    QLineEdit* m_year = nullptr;
    QLineEdit* m_comment = nullptr;
    QComboBox* m_genre = nullptr;
    QPushButton* m_remove = nullptr;
};

// The "ID3 Tag Edit" command for a song: an address ("scheme://...") is refused with a
// message; a file gets the dialog.
void EditId3Tag(QWidget* parent, const std::string& path);
