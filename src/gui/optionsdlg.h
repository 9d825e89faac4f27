// OptionsDlg: the program-wide settings: welcome dialog and wizard at hand,
// idle timeout, length of the recent-vaults list and how notes are laid out.
#pragma once

#include "ui_optionsdlg.h"

#include <QDialog>

// Modal; the caller builds it on the stack and runs exec(). The constructor
// shows the stored settings; accept() writes every one of them back and
// shortens "recentVaults/list" to the new maximum; Cancel writes nothing.
// The dialog never applies a setting itself: after Accepted the caller
// rebuilds its recent-vaults menu and applies the idle timeout and the note
// layout. "layout/tabPosition" is written as one of "Top", "Bottom", "Left",
// "Right", untranslated whatever language the dialog shows. GUI thread only.
class OptionsDlg : public QDialog, public Ui::OptionsDlg {
    Q_OBJECT

public:
    explicit OptionsDlg(QWidget *parent = nullptr);

public slots:
    void accept() override;
    // Enables the widgets of the chosen layout and disables the others'.
    virtual void layoutChanged();
};
