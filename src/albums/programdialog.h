#pragma once
// Edits an album's play program: every song on the left, the program on the right. Songs are
// added, removed, dragged in and reordered, or shuffled; OK makes the right list the program
// and saves the album.

#include <QDialog>

class Album;
class QListWidget;

class ProgramDialog : public QDialog
{
    Q_OBJECT
public:
    ProgramDialog(Album& album, QWidget* parent = nullptr);

    // The program as the right list holds it now.
    std::vector<int> programRows() const;

    void addSelected();
    void deleteSelected();
    void shuffle();

    QListWidget* songList() const { return m_songs; }
    QListWidget* programList() const { return m_program; }

    void accept() override;

private:
    QListWidget* m_songs;
    QListWidget* m_program;
    Album& m_album;
};
