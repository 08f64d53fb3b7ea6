#pragma once
// The file-association dialog (resource 30751) the Digital Audio, MIDI and Digital Video
// Players' preferences pages open with their button 1225: the family's extensions in a list of
// three-state check boxes, every one starting undecided; Apply (1227) registers the checked ones,
// restores the unchecked ones, leaves the undecided ones and says what it did. The CD page's two
// buttons (1118 register, 1135 restore) are the two functions below. All of it works on the
// user's mimeapps.list through platform/associations.h.

#include <QDialog>

class QListWidget;

class CFileAssociationDialog : public QDialog
{
    Q_OBJECT
public:
    static constexpr int kDialogId = 30751;
    static constexpr int kApplyId = 1227;

    // component: the player whose page opened it (4 MIDI, 5 video, anything else audio).
    explicit CFileAssociationDialog(int component, QWidget* parent = nullptr);

    int family() const { return m_family; }
    QListWidget* list() const { return m_list; }
    // Control 1227.
    void OnApply();

private:
    int m_family;
    QListWidget* m_list = nullptr;
};

// Controls 1118 and 1135 of the CD page: the change and its message box.
void RegisterCdPlayerWithMessage(QWidget* parent);
void RestoreCdPlayerWithMessage(QWidget* parent);
