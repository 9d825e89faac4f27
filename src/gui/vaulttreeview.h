// VaultTreeView: the note dock's view of the note list: 80-character
// in-place names, a signal on every selection change, the selected note id.
#pragma once

#include <QByteArray>
#include <QTreeView>

// When its model is a VaultModel, the view tells the user of a rename that
// the store refused, in a warning box shown once the editor commit is over
// (queued), so no dialog runs inside the editor's focus handling.
// GUI thread only.
class VaultTreeView : public QTreeView {
    Q_OBJECT
public:
    explicit VaultTreeView(QWidget *pParent = nullptr);

    void setModel(QAbstractItemModel *pModel) override;
    // True when at least one index is selected.
    bool hasSelection() const;
    // The note id (user role) of the first selected index; empty when
    // nothing is selected.
    QByteArray getSelectedId() const;

signals:
    // After every change of the selection, by mouse, keyboard or program.
    void selChanged();

protected slots:
    void selectionChanged(const QItemSelection &selected,
                          const QItemSelection &deselected) override;

private slots:
    void showRenameFailure(const QByteArray &baId, const QString &sReason);
};
