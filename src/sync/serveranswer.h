// ServerAnswer: reading the sync server's answers off the session and
// taking them apart, every value checked, since the server is not trusted.
#pragma once

#include "ka/uuid.h"
#include "sync/vaultinfo.h"

#include <QByteArray>

#include <cstdint>
#include <memory>
#include <vector>

namespace Vrel {
class List;
class Object;
class VrelStream;
} // namespace Vrel

namespace ServerAnswer {

// The most no-value bytes read before an answer; a well-formed session has
// at most the 15 that fill the last block of the previous message.
inline constexpr int kMaxFill = 255;

// Reads the next answer, skipping the zero bytes that fill the blocks of
// the encrypted session. Throws Ka::ExceptionBase when the data ends
// before a value or the fill never ends, and Vrel::Error for damaged
// values. The caller owns the answer.
std::unique_ptr<Vrel::Object> read(Vrel::VrelStream &rStream);

// A note or vault id the server sends: its bytes up to the first zero byte,
// in the 36-character text form or as 16 raw bytes. False for anything
// that is no id (the empty id included).
bool toId(const QByteArray &baText, Ka::Uuid &rId);

// A server version: an Integer from 0 to the largest 32-bit value.
bool toVersion(const Vrel::Object *pValue, int32_t &rVersion);

// One entry of a "since" answer.
struct Change {
    Ka::Uuid uId;
    bool bDeleted = false;
    int32_t iVersion = 0;
};
// The usable entries of a "since" answer, oldest version first (applied in
// that order, the vault's remote version always marks how far it is). An
// entry that is not a dictionary or lacks a usable id or version is left out.
std::vector<Change> changes(const Vrel::List &rList);

// The usable note ids of a "list" answer, in the server's order.
std::vector<Ka::Uuid> noteIds(const Vrel::List &rList);

// The remote vaults of a "listVaults" answer, in the server's order;
// entries without a string id are left out.
VaultInfoList vaults(const Vrel::List &rList);

// A note as a "load" answer carries it.
struct Note {
    int32_t iVersion = 0;
    QByteArray baMeta;
    QByteArray baData;
};
// False unless the answer is a dictionary with a usable version and
// strings under "meta" and "data".
bool note(const Vrel::Object *pAnswer, Note &rNote);

} // namespace ServerAnswer
