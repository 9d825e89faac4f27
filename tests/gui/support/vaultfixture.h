// A vault in a temporary folder with a few notes, for the note list tests.
#pragma once

#include "ka/string.h"
#include "ka/uuid.h"
#include "store/notestore.h"
#include "store/stringconv.h"
#include "support/tempdir.h"
#include "vrel/dictionary.h"

#include <QByteArray>
#include <QString>

#include <memory>

namespace GuiTest {

inline Ka::String kaUtf8(const QString &s) {
    return toKaString(s.toUtf8());
}

struct VaultFixture {
    support::TempDir dir;
    std::string sPath = dir.getFilePath("notes.vault");
    std::unique_ptr<NoteStore> pStore = open();

    std::unique_ptr<NoteStore> open() {
        return std::make_unique<NoteStore>(Ka::String(sPath.c_str()), Ka::String("secret"));
    }
    // Creates a note and returns its id as the GUI carries it (16 bytes).
    QByteArray add(const QString &sName, const QByteArray &baHtml = "<p>text</p>") {
        const Ka::Uuid id = Ka::Uuid::generate();
        Vrel::Dictionary content;
        content.insert("data", baHtml);
        pStore->createNote(id, kaUtf8(sName), "html", &content);
        return toByteArray(id.getRaw());
    }
    Ka::Uuid uuid(const QByteArray &baId) const { return Ka::Uuid(toKaString(baId)); }
    QString nameOf(const QByteArray &baId) const {
        return QString::fromUtf8(toByteArray(pStore->getNoteName(uuid(baId))));
    }
};

} // namespace GuiTest
