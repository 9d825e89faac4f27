// The kill test: a worker process runs random vault operations, large and
// small, alone and in batches, and reports each one before it starts (a
// batch: before it commits) and once it has returned; a
// driver kills it again and again, at random moments or at a chosen write
// of the vault or its journal, then opens the vault and checks that it holds
// every operation that returned, and the one under way either whole or not
// at all.
//
//   vault_kill drive FOLDER KILLS SEED   runs the test; exits 0 when it holds
//   vault_kill worker VAULT SEED OPS K   one worker (started by the driver)
//
// The worker stops itself at its K-th write through a file layer compiled
// into this test program only: the store's test constructor is protected,
// and nothing in the shipped program derives from the store.
#include "ka/exception.h"
#include "store/notestore.h"
#include "store/stringconv.h"
#include "support/watchedfiles.h"
#include "vrel/vrel.h"

#include <QByteArray>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <poll.h>
#include <random>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

const char *const kPass = "kill test password";

Ka::String kstr(const std::string &s) {
    return Ka::String(s.data(), int(s.size()));
}

std::string str(const Ka::String &s) {
    return std::string(s.getConstStr(), size_t(s.getSize()));
}

// A note's HTML from its seed and size: mostly letters, so that large notes
// stay large after compression.
std::string html(uint32_t iSeed, size_t iSize) {
    std::string s = "<p>";
    uint32_t x = iSeed * 2654435761u + 1;
    while (s.size() < iSize) {
        x = x * 1664525u + 1013904223u;
        s += char('a' + (x >> 24) % 26);
    }
    return s + "</p>";
}

std::unique_ptr<Vrel::Dictionary> content(const std::string &sHtml) {
    auto pDict = std::make_unique<Vrel::Dictionary>();
    pDict->insert("data", QByteArray(sHtml.data(), qsizetype(sHtml.size())));
    return pDict;
}

// ---- The operations, as text both sides read ----

// One operation and its arguments: "create ID NAME SEED SIZE", "save ID SEED
// SIZE", "rename ID NAME", "delete ID", "version ID N", "changed ID 0|1",
// "user NAME", "import NEWID FROMID N", "remote N", "unuser" (names without
// blanks; ids in text form), or "batch OP ; OP ; ...", operations committed
// together.
struct Op {
    Op() = default;
    Op(std::string sKind, std::vector<std::string> lArgs = {})
        : sKind(std::move(sKind)), lArgs(std::move(lArgs)) {}

    std::string sKind;
    std::vector<std::string> lArgs;
    std::vector<Op> lSteps; // of a batch
    std::string text() const {
        std::string s = sKind;
        for (const std::string &a : lArgs)
            s += " " + a;
        for (size_t i = 0; i < lSteps.size(); ++i)
            s += (i ? " ; " : " ") + lSteps[i].text();
        return s;
    }
    static Op parse(const std::string &sLine) {
        std::istringstream in(sLine);
        Op op;
        in >> op.sKind;
        if (op.sKind == "batch") {
            std::string sStep;
            for (std::string a; in >> a;) {
                if (a != ";") {
                    sStep += sStep.empty() ? a : " " + a;
                    continue;
                }
                op.lSteps.push_back(parse(sStep));
                sStep.clear();
            }
            op.lSteps.push_back(parse(sStep));
            return op;
        }
        for (std::string a; in >> a;)
            op.lArgs.push_back(a);
        return op;
    }
};

// What a reader sees of the vault, and the model the driver keeps of it.
struct NoteView {
    std::string sName;
    int iVersion = 0;
    bool bChanged = false;
    std::string sHtml;
    bool operator==(const NoteView &) const = default;
};

struct View {
    std::map<std::string, NoteView> hNotes;
    int iRemoteVersion = 0;
    std::optional<std::string> sUser;
    std::vector<std::string> lDeletes;
    bool bUnuserPending = false; // a removed header value not yet written
    bool operator==(const View &o) const {
        return hNotes == o.hNotes && iRemoteVersion == o.iRemoteVersion && sUser == o.sUser &&
               lDeletes == o.lDeletes;
    }
};

View viewOf(NoteStore &rStore) {
    View view;
    const Ka::List<Ka::Uuid> lIds = rStore.getNoteIds();
    for (const Ka::Uuid &id : lIds) {
        const NoteStore::Note &rNote = rStore.getNotes().get(id);
        std::unique_ptr<Vrel::Dictionary> pContent(rStore.loadNote(id));
        const QByteArray ba = pContent ? pContent->valueStr("data") : QByteArray("(unreadable)");
        view.hNotes[str(id.toString())] = {str(rNote.sName), rNote.iVersion, rNote.bChanged,
                                           std::string(ba.constData(), size_t(ba.size()))};
    }
    view.iRemoteVersion = rStore.getRemoteVersion();
    if (auto *pUser = dynamic_cast<Vrel::String *>(rStore.getHeader("remoteUser")))
        view.sUser = pUser->toStdString();
    if (auto *pDeletes = dynamic_cast<Vrel::List *>(rStore.getHeader("deletes"))) {
        for (Vrel::Object *p : *pDeletes) {
            const QByteArray ba = *dynamic_cast<Vrel::String *>(p);
            view.lDeletes.push_back(str(Ka::Uuid(toKaString(ba)).toString()));
        }
    }
    return view;
}

// What the operation does to the model of the vault.
void apply(View &rView, const Op &op) {
    if (op.sKind == "batch") {
        for (const Op &step : op.lSteps)
            apply(rView, step);
        // The batch's commit writes the header.
        if (rView.bUnuserPending) {
            rView.sUser.reset();
            rView.bUnuserPending = false;
        }
        return;
    }
    const auto &a = op.lArgs;
    const bool bWrites = op.sKind != "unuser";
    if (bWrites && rView.bUnuserPending) {
        rView.sUser.reset();
        rView.bUnuserPending = false;
    }
    if (op.sKind == "create") {
        rView.hNotes[a[0]] = {a[1], 0, true, html(uint32_t(std::stoul(a[2])), std::stoul(a[3]))};
    } else if (op.sKind == "save") {
        NoteView &n = rView.hNotes.at(a[0]);
        n.sHtml = html(uint32_t(std::stoul(a[1])), std::stoul(a[2]));
        n.bChanged = true;
    } else if (op.sKind == "rename") {
        rView.hNotes.at(a[0]).sName = a[1];
        rView.hNotes.at(a[0]).bChanged = true;
    } else if (op.sKind == "delete") {
        rView.hNotes.erase(a[0]);
        rView.lDeletes.push_back(a[0]);
    } else if (op.sKind == "version") {
        rView.iRemoteVersion = std::max(rView.iRemoteVersion, std::stoi(a[1]));
        rView.hNotes.at(a[0]).iVersion = std::stoi(a[1]);
    } else if (op.sKind == "changed") {
        rView.hNotes.at(a[0]).bChanged = a[1] == "1";
    } else if (op.sKind == "user") {
        rView.sUser = a[0];
    } else if (op.sKind == "import") {
        NoteView n = rView.hNotes.at(a[1]);
        n.iVersion = std::stoi(a[2]);
        n.bChanged = false;
        rView.hNotes[a[0]] = n;
        rView.iRemoteVersion = std::max(rView.iRemoteVersion, n.iVersion);
    } else if (op.sKind == "remote") {
        rView.iRemoteVersion = std::max(rView.iRemoteVersion, std::stoi(a[0]));
    } else if (op.sKind == "unuser") {
        rView.bUnuserPending = rView.sUser.has_value();
    }
}

void run(NoteStore &rStore, const Op &op) {
    const auto &a = op.lArgs;
    const auto id = [](const std::string &s) { return Ka::Uuid(kstr(s)); };
    if (op.sKind == "create") {
        rStore.createNote(id(a[0]), kstr(a[1]), "html",
                          content(html(uint32_t(std::stoul(a[2])), std::stoul(a[3]))).get());
    } else if (op.sKind == "save") {
        rStore.saveNote(id(a[0]),
                        content(html(uint32_t(std::stoul(a[1])), std::stoul(a[2]))).get());
    } else if (op.sKind == "rename") {
        rStore.renameNote(id(a[0]), kstr(a[1]));
    } else if (op.sKind == "delete") {
        if (!rStore.deleteNote(id(a[0])))
            throw Ka::ExceptionBase("deleteNote failed");
    } else if (op.sKind == "version") {
        rStore.setNoteVersion(id(a[0]), std::stoi(a[1]));
    } else if (op.sKind == "changed") {
        rStore.setNoteChanged(id(a[0]), a[1] == "1");
    } else if (op.sKind == "user") {
        rStore.setHeader("remoteUser", new Vrel::String(QByteArray::fromStdString(a[0])));
    } else if (op.sKind == "import") {
        std::fflush(stdout);
        const Ka::String sMeta = rStore.getNoteMeta(id(a[1]));
        rStore.importNote(id(a[0]), toByteArray(rStore.getNoteData(id(a[1]))), toByteArray(sMeta),
                          std::stoi(a[2]));
    } else if (op.sKind == "remote") {
        rStore.setRemoteVersion(std::stoi(a[0]));
    } else if (op.sKind == "unuser") {
        rStore.removeHeader("remoteUser");
    }
}

// A random operation on the vault as it is now.
Op randomOp(NoteStore &rStore, std::mt19937 &rng) {
    std::vector<std::string> lIds;
    const Ka::List<Ka::Uuid> lAll = rStore.getNoteIds();
    for (const Ka::Uuid &id : lAll)
        lIds.push_back(str(id.toString()));
    std::sort(lIds.begin(), lIds.end());
    const auto any = [&] { return lIds[rng() % lIds.size()]; };
    const auto size = [&] {
        // Mostly small notes, some of 100 KiB to 1 MiB.
        return std::to_string(rng() % 10 == 0 ? 100000 + rng() % 950000 : 50 + rng() % 4000);
    };
    const auto name = [&] { return "n" + std::to_string(rng() % 100000); };
    const int iDraw = int(rng() % 100);
    if (lIds.empty() || (iDraw < 25 && lIds.size() < 120))
        return {"create",
                {str(Ka::Uuid::generate().toString()), name(), std::to_string(rng()), size()}};
    if (iDraw < 50)
        return {"save", {any(), std::to_string(rng()), size()}};
    if (iDraw < 60)
        return {"rename", {any(), name()}};
    if (iDraw < 70 || lIds.size() >= 120)
        return {"delete", {any()}};
    if (iDraw < 78)
        return {"version", {any(), std::to_string(rng() % 1000)}};
    if (iDraw < 84)
        return {"changed", {any(), std::to_string(rng() % 2)}};
    if (iDraw < 90)
        return {"user", {name()}};
    if (iDraw < 95)
        return {"import",
                {str(Ka::Uuid::generate().toString()), any(), std::to_string(rng() % 1000)}};
    if (iDraw < 98)
        return {"remote", {std::to_string(rng() % 1000)}};
    return {"unuser", {}};
}

// A store whose files stop the process at their K-th write, after handing a
// random part of that write to the disk.
class KillingStore : public NoteStore {
public:
    KillingStore(const std::string &sPath, int iDieAt, uint32_t iSeed)
        : NoteStore(kstr(sPath), kPass, [=](std::unique_ptr<Files> pDisk) {
              auto pFiles = std::make_unique<support::WatchedFiles>(std::move(pDisk));
              support::WatchedFiles *p = pFiles.get();
              pFiles->setHook([p, iDieAt, iSeed](const support::FileEvent &rEvent) {
                  if (rEvent.eKind != support::FileEvent::Write || p->getWriteCount() != iDieAt)
                      return;
                  const size_t n = iSeed % (rEvent.sBytes.size() + 1);
                  Ka::Stream &rInner = p->innerStream(rEvent.iFile);
                  rInner.setPos(int(rEvent.iOffset));
                  rInner.write(rEvent.sBytes.data(), int(n));
                  std::fflush(stdout);
                  std::raise(SIGKILL);
              });
              return std::unique_ptr<Files>(std::move(pFiles));
          }) {}
};

void say(const std::string &sLine) {
    std::fputs((sLine + "\n").c_str(), stdout);
    std::fflush(stdout);
}

int worker(const std::string &sVault, uint32_t iSeed, int iOps, int iDieAt) {
    std::mt19937 rng(iSeed);
    KillingStore store(sVault, iDieAt, iSeed);
    say("open");
    for (int i = 0; i < iOps; ++i) {
        if (rng() % 10 == 0) {
            // A batch: its steps are drawn from the vault as the batch
            // leaves it, and only its commit writes.
            NoteStore::Batch batch(store);
            Op op("batch");
            const int iSteps = int(2 + rng() % 12);
            for (int k = 0; k < iSteps; ++k) {
                op.lSteps.push_back(randomOp(store, rng));
                run(store, op.lSteps.back());
            }
            say("B " + op.text());
            batch.end();
            say("C");
            continue;
        }
        const Op op = randomOp(store, rng);
        say("B " + op.text());
        run(store, op);
        say("C");
    }
    return 0;
}

// ---- The driver ----

struct Child {
    pid_t pid = -1;
    int fdOut = -1;
};

Child spawn(const std::string &sSelf, const std::vector<std::string> &lArgs) {
    int aPipe[2];
    if (::pipe(aPipe) != 0)
        throw std::runtime_error("pipe failed");
    const pid_t pid = ::fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        ::dup2(aPipe[1], STDOUT_FILENO);
        ::close(aPipe[0]);
        ::close(aPipe[1]);
        std::vector<char *> argv{const_cast<char *>(sSelf.c_str())};
        for (const std::string &a : lArgs)
            argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(sSelf.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(aPipe[1]);
    return {pid, aPipe[0]};
}

// Reads whole lines as they come; false at the end of the output.
bool readLine(int fd, std::string &rPending, std::string &rLine, int iTimeoutMs) {
    for (;;) {
        const size_t iEnd = rPending.find('\n');
        if (iEnd != std::string::npos) {
            rLine = rPending.substr(0, iEnd);
            rPending.erase(0, iEnd + 1);
            return true;
        }
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, iTimeoutMs) == 0) {
            rLine.clear();
            return true; // nothing yet
        }
        char aBuf[4096];
        const ssize_t n = ::read(fd, aBuf, sizeof aBuf);
        if (n <= 0)
            return false;
        rPending.append(aBuf, size_t(n));
    }
}

std::string describe(const View &v) {
    return std::to_string(v.hNotes.size()) + " notes, remote version " +
           std::to_string(v.iRemoteVersion) + ", " + std::to_string(v.lDeletes.size()) +
           " deletions";
}

int drive(const std::string &sSelf, const std::string &sFolder, int iKills, uint32_t iSeed) {
    // The store's diagnostic lines (one per queued deletion at every open)
    // would bury the result: they go nowhere, the result to the saved output.
    const int fdResult = ::dup(STDOUT_FILENO);
    const int fdNull = ::open("/dev/null", O_WRONLY);
    std::fflush(stdout);
    ::dup2(fdNull, STDOUT_FILENO);
    ::close(fdNull);
    std::filesystem::create_directories(sFolder);
    const std::string sVault = sFolder + "/kill.vault";
    std::filesystem::remove(sVault);
    std::filesystem::remove(sVault + "-journal");
    View model;
    {
        NoteStore store(kstr(sVault), kPass);
        store.setHeader("syncId", new Vrel::String("kill-test"));
    }
    std::mt19937 rng(iSeed);
    int iKilled = 0, iAtWrite = 0, iAtMoment = 0, iFinished = 0, iCommitted = 0;
    int iInFlightDone = 0, iInFlightUndone = 0, iLockChecks = 0, iRuns = 0;
    int iBatches = 0, iBatchesCut = 0;
    const auto t0 = std::chrono::steady_clock::now();
    while (iKilled < iKills) {
        ++iRuns;
        // Most kills at a chosen write: a random moment mostly falls into
        // compression, between writes.
        const bool bAtWrite = rng() % 4 != 0;
        const int iOps = bAtWrite ? 40 : 100000;
        const int iDieAt = bAtWrite ? int(1 + rng() % 300) : -1;
        Child child = spawn(sSelf, {"worker", sVault, std::to_string(rng()), std::to_string(iOps),
                                    std::to_string(iDieAt)});
        const auto tKill =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(rng() % 1500);
        std::string sPending, sLine;
        std::optional<Op> inFlight;
        bool bLockChecked = false;
        const auto tGiveUp = std::chrono::steady_clock::now() + std::chrono::minutes(5);
        for (;;) {
            const auto tNow = std::chrono::steady_clock::now();
            if ((!bAtWrite && tNow >= tKill) || tNow >= tGiveUp)
                ::kill(child.pid, SIGKILL);
            if (!readLine(child.fdOut, sPending, sLine, 5))
                break;
            if (sLine.empty())
                continue;
            if (sLine == "open" && !bLockChecked && rng() % 4 == 0) {
                // While the worker has the vault, nobody else may open it.
                bLockChecked = true;
                try {
                    NoteStore other(kstr(sVault), kPass);
                    std::fprintf(stderr, "FAIL: a second store opened the vault\n");
                    ::kill(child.pid, SIGKILL);
                    return 1;
                } catch (const Ka::FileException &e) {
                    if (std::string(e.what()) != NoteStore::kVaultInUse) {
                        std::fprintf(stderr, "FAIL: unexpected refusal: %s\n", e.what());
                        return 1;
                    }
                    ++iLockChecks;
                }
            } else if (sLine.rfind("B ", 0) == 0) {
                inFlight = Op::parse(sLine.substr(2));
            } else if (sLine == "C" && inFlight) {
                apply(model, *inFlight);
                iBatches += inFlight->sKind == "batch";
                inFlight.reset();
                ++iCommitted;
            }
        }
        ::close(child.fdOut);
        int iStatus = 0;
        ::waitpid(child.pid, &iStatus, 0);
        if (WIFSIGNALED(iStatus) && WTERMSIG(iStatus) == SIGKILL) {
            ++iKilled;
            (bAtWrite ? iAtWrite : iAtMoment) += 1;
        } else if (WIFEXITED(iStatus) && WEXITSTATUS(iStatus) == 0) {
            ++iFinished;
        } else {
            std::fprintf(stderr, "FAIL: the worker ended with status %d\n", iStatus);
            return 1;
        }

        View found;
        try {
            NoteStore store(kstr(sVault), kPass);
            found = viewOf(store);
        } catch (const std::exception &e) {
            std::fprintf(stderr, "FAIL: run %d: the vault does not open: %s\n", iRuns, e.what());
            return 1;
        }
        View after = model;
        if (inFlight) {
            apply(after, *inFlight);
            iBatchesCut += inFlight->sKind == "batch";
        }
        if (found == model) {
            iInFlightUndone += inFlight.has_value();
        } else if (inFlight && found == after) {
            ++iInFlightDone;
            model = after;
        } else {
            std::fprintf(stderr,
                         "FAIL: run %d: the vault holds neither the committed state nor the "
                         "operation under way (%s)\n  found: %s\n  model: %s\n",
                         iRuns, inFlight ? inFlight->text().c_str() : "none",
                         describe(found).c_str(), describe(model).c_str());
            return 1;
        }
        // A removed header value that no write carried dies with the process.
        model.bUnuserPending = false;
        if (iRuns % 50 == 0)
            std::fprintf(stderr, "... %d runs, %d kills, %d operations committed\n", iRuns, iKilled,
                         iCommitted);
    }
    const double dSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::fflush(stdout);
    ::dup2(fdResult, STDOUT_FILENO);
    std::printf("kill test: %d runs, %d kills (%d at a chosen write, %d at a random moment), %d "
                "runs finished; %d operations committed and all found; of the operations cut "
                "short %d were found whole and %d not at all; batches: %d committed, %d cut "
                "short; %d lock refusals; %.0f s\n",
                iRuns, iKilled, iAtWrite, iAtMoment, iFinished, iCommitted, iInFlightDone,
                iInFlightUndone, iBatches, iBatchesCut, iLockChecks, dSeconds);
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    try {
        if (argc == 6 && std::string(argv[1]) == "worker")
            return worker(argv[2], uint32_t(std::stoul(argv[3])), std::stoi(argv[4]),
                          std::stoi(argv[5]));
        if (argc == 5 && std::string(argv[1]) == "drive") {
            const std::string sSelf = std::filesystem::canonical("/proc/self/exe").string();
            return drive(sSelf, argv[2], std::stoi(argv[3]), uint32_t(std::stoul(argv[4])));
        }
    } catch (const std::exception &e) {
        std::fprintf(stderr, "vault_kill: %s\n", e.what());
        return 2;
    }
    std::fprintf(stderr, "usage: vault_kill drive FOLDER KILLS SEED\n");
    return 2;
}
