// NoteWidget: identity, title and the close question of every note editor.
#include "gui/notewidget.h"

#include "gui/iconcache.h"

#include <QCloseEvent>
#include <QMessageBox>

NoteWidget::NoteWidget(const QByteArray &baId, const QString &sName, QWidget *pParent)
    : QWidget(pParent), baId(baId), sName(sName) {}

void NoteWidget::setName(const QString &sNewName) {
    sName = sNewName;
    updateTitle();
}

QString NoteWidget::getName() const {
    return sName;
}

void NoteWidget::updateTitle() {
    // Qt reads "[*]" as the modified mark and "[*][*]" as a literal "[*]",
    // so a name that contains the mark must not be taken for it.
    QString sTitle = sName;
    sTitle.replace("[*]", "[*][*]");
    setWindowTitle(sTitle + "[*]");
}

QList<QToolBar *> NoteWidget::getToolBars() {
    return {};
}

QIcon NoteWidget::getIcon() {
    return IconCache::getInstance().getIcon("note-" + getType());
}

bool NoteWidget::maybeSave() {
    if (!isModified())
        return true;
    const QMessageBox::StandardButton eAnswer = QMessageBox::warning(
        this, tr("Pelimund"),
        tr("The note \"%1\" has changed since the last save.\n\nDo you want to save it now?")
            .arg(getName()),
        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
    if (eAnswer == QMessageBox::Save) {
        emit saveMe(this);
        // A store that failed left the editor modified: keep it open rather
        // than lose the text.
        return !isModified();
    }
    return eAnswer == QMessageBox::Discard;
}

void NoteWidget::closeEvent(QCloseEvent *pEvent) {
    if (maybeSave())
        pEvent->accept();
    else
        pEvent->ignore();
}
