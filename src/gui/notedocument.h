// NoteDocument: the text document of a note, which reads from the local disk
// only regular files of sane size for the images and style sheets that the
// note's HTML names.
#pragma once

#include <QTextDocument>

// A note's HTML comes from a typed note, an imported file or another
// computer through the sync, and may name any local path as an image: a
// device such as /dev/zero would be read without end, a named pipe would
// block the program. Qt reads such files itself, and its image handler
// tries the path again when the document hands it no image, so every
// document that takes a note's HTML is a NoteDocument.
//
// A resource that names a local file (a plain path or a file: URL; a
// relative name is a path from the working directory, as Qt reads it for a
// document without an address of its own, and these documents have none) is
// read only when it is a regular file of at most kMaxResourceBytes; when the
// path the URL gives is none, a name without a scheme is tried as the HTML
// wrote it ("Screenshot #1.png" is no path with a fragment), and an image's
// format comes from its bytes or else from its name's suffix. Anything
// else gives, for an image, the picture Qt shows for a missing image, and for
// any other resource empty bytes. Qt resource paths (":/...", "qrc:") and
// other schemes go to QTextDocument as before. What was read is kept in the
// document, so a repaint does not read the file again. GUI thread only.
class NoteDocument : public QTextDocument {
    Q_OBJECT
public:
    // The largest local file read for a resource.
    static constexpr qint64 kMaxResourceBytes = 64 * 1024 * 1024;

    explicit NoteDocument(QObject *pParent = nullptr);

protected:
    QVariant loadResource(int iType, const QUrl &url) override;
};

// The document's HTML as a note stores it: UTF-8, with every zero character
// as U+FFFD. HTML may write a zero (&#0;), which a document takes in as
// text, but the editor reads a note only up to its first zero: the text
// after one would be lost with the next save.
QByteArray noteHtml(const QTextDocument &document);
