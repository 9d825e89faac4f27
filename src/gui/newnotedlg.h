// NewNoteDlg: asks for the name of a note about to be created.
#pragma once

#include "ui_newnotedlg.h"

#include <QDialog>
#include <QString>

// Modal; the caller builds it on the stack, runs exec() and reads getName()
// only after Accepted. Any name is accepted, the empty one included: the
// caller decides what to do with it. GUI thread only.
class NewNoteDlg : public QDialog, public Ui::NewNoteDlg {
    Q_OBJECT

public:
    explicit NewNoteDlg(QWidget *parent = nullptr);

    // The name as typed.
    QString getName() const;

public slots:
    void accept() override;
};
