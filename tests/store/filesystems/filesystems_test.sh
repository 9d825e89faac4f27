#!/usr/bin/env bash
# The tests of a vault file that another program deletes, replaces or moves,
# and the store's own tests, on every kind of file system this machine can
# mount: ext4, btrfs and xfs on loop devices, tmpfs, overlayfs, and FUSE
# (exFAT, bindfs, and sshfs over a loopback SSH server, as a network file
# system seen through user space). The store tells the file it holds from another
# at the vault's name by device and inode number, as stat and fstat report
# them; every file system must report the same pair through both, and a
# different pair for another file, or a save would be refused falsely or let
# through blind. Each is also checked from outside (Python's os.stat), for a
# file that overlayfs copies up from its lower layer as it is opened too.
#
# Not part of ctest: it needs root to mount, installs the file system tools,
# and takes a few minutes. Usage: filesystems_test.sh (after ./test.sh).
set -euo pipefail
cd "$(dirname "$0")/../../.."
top=$PWD
build=${PELIMUND_BUILD:-build-test}
[ "$(id -u)" -eq 0 ] || { echo "filesystems_test.sh mounts file systems: run it as root" >&2; exit 2; }
source scripts/deps.sh
pelimund_install btrfs-progs xfsprogs bindfs sshfs openssh-server openssh-client python3 \
    exfat-fuse exfatprogs
[ -d "$build" ] || ./test.sh -R NoSuchTest >/dev/null
cmake --build "$build" --target ka_tests store_tests sync_tests gui_mainwnd_test

export QT_QPA_PLATFORM=offscreen
export LSAN_OPTIONS=suppressions=$top/tests/lsan.supp:print_suppressions=0
work=$(mktemp -d)
# Other users may reach the mounts: one test acts as two of them.
chmod 755 "$work"
mounts=()
sshd_pid=
exfat_dev=
cleanup() {
    for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
        umount -l "${mounts[$i]}" 2>/dev/null || fusermount -uz "${mounts[$i]}" 2>/dev/null || true
    done
    [ -n "$sshd_pid" ] && kill "$sshd_pid" 2>/dev/null || true
    [ -n "$exfat_dev" ] && losetup -d "$exfat_dev" 2>/dev/null || true
    [ -n "${PELIMUND_KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT

# The device and inode of a path through stat and of an open file through
# fstat agree, and differ for another file at the name.
identity_check() {
    python3 - "$1" <<'PY'
import os, sys
path = sys.argv[1]
fd = os.open(path, os.O_RDWR | os.O_CREAT, 0o600)
os.write(fd, b"vault")
same = lambda a, b: (a.st_dev, a.st_ino) == (b.st_dev, b.st_ino)
ok = same(os.stat(path), os.fstat(fd))
os.rename(path, path + ".moved")
with open(path, "wb") as other:
    other.write(b"other")
ok = ok and not same(os.stat(path), os.fstat(fd))
os.rename(path + ".moved", path + ".back")
ok = ok and same(os.stat(path + ".back"), os.fstat(fd))
os.close(fd)
sys.exit(0 if ok else 1)
PY
}

failed=0
# Runs the checks on the folder, which "mount_on NAME FOLDER COMMAND..." has
# just mounted; a file system that cannot be mounted here is said so.
run_on() {
    local name=$1 folder=$2
    echo "== $name ($(stat -f -c %T "$folder"))"
    if ! identity_check "$folder/identity"; then
        echo "   stat and fstat disagree"
        failed=1
        return
    fi
    local log=$work/$name.log
    # SFTP makes no named pipes, which one test needs to begin with.
    local store='NoteStore.*' ka='JournaledFile*:File*'
    [ "$name" = sshfs ] && store+=':-NoteStore.OnlyRegularFilesAreOpened'
    # exFAT keeps no links, pipes, owners or modes, and its names ignore
    # letter case: the tests that make or look at those are left out. What
    # it shows instead, every file under one owner (not the user) and mode
    # 0755, is what a journal left by a crash must still be played back on.
    if [ "$name" = exfat ]; then
        store+=':-NoteStore.OnlyRegularFilesAreOpened:NoteStore.AVaultThisUserCannotReadIsNeverRemoved'
        store+=':NoteStore.VaultAndJournalArePrivate:NoteStore.ChangesAreRefusedOnceTheVaultFileWent'
        store+=':NoteStore.OnlyTheStoresOwnJournalIsReadOrWritten:NoteStore.AnotherUsersJournalIsNeverPlayedBack'
        ka+=':-FileTest.NewFilesGetMode0666LessTheUmask:FileTest.PrivateModeLeavesOthersOut'
        ka+=':FileTest.SizesBeyond32BitsAreRefused:FileTest.TempFileNeverReusesAnExistingFile'
        ka+=':JournaledFile.DiskFilesKeepTheJournalPrivateAndRemoveIt'
    fi
    if TMPDIR=$folder "$build/tests/ka_tests" --gtest_filter="$ka" >"$log" 2>&1 &&
        TMPDIR=$folder "$build/tests/store/store_tests" --gtest_filter="$store" >>"$log" 2>&1 &&
        TMPDIR=$folder "$build/tests/sync/sync_tests" --gtest_filter='*FileWent*' >>"$log" 2>&1 &&
        TMPDIR=$folder "$build/tests/gui/gui_mainwnd_test" vaultMovedDuringTheSaveQuestion \
            vaultFileGone idleCloseWithTheVaultFileGone vaultToOpenMovedDuringTheSaveQuestion \
            journalNameTaken >>"$log" 2>&1; then
        echo "   passed"
    else
        grep -E '^\[  FAILED|^FAIL!' "$log" | head -n 20 || tail -n 20 "$log"
        failed=1
    fi
}
mount_on() {
    local name=$1 folder=$2
    shift 2
    mkdir -p "$folder"
    if "$@" >"$work/$name.mount" 2>&1; then
        mounts+=("$folder")
        run_on "$name" "$folder"
    else
        echo "== $name: cannot be mounted here ($(head -n 1 "$work/$name.mount"))"
    fi
}

for type in ext4 btrfs xfs; do
    truncate -s 512M "$work/$type.img"
    "mkfs.$type" -q "$work/$type.img" >/dev/null 2>&1 || "mkfs.$type" "$work/$type.img" >/dev/null 2>&1 || true
    mount_on "$type" "$work/$type" mount -o loop "$work/$type.img" "$work/$type"
done

mount_on tmpfs "$work/tmpfs" mount -t tmpfs -o size=512M tmpfs "$work/tmpfs"

# A file made in the lower layer before the mount is copied up as it is
# opened for writing through the overlay, and must still be the same file.
mkdir -p "$work/layers/lower" "$work/layers/upper" "$work/layers/work"
echo old >"$work/layers/lower/identity"
mount_on overlayfs "$work/overlay" mount -t overlay overlay \
    -o "lowerdir=$work/layers/lower,upperdir=$work/layers/upper,workdir=$work/layers/work" \
    "$work/overlay"

# exFAT through FUSE, which needs a block device, with every file shown
# under another owner than root.
truncate -s 512M "$work/exfat.img"
mkfs.exfat "$work/exfat.img" >/dev/null 2>&1 || true
if exfat_dev=$(losetup -f --show "$work/exfat.img" 2>/dev/null); then
    mount_on exfat "$work/exfat" mount.exfat-fuse -o uid=65534,umask=022 "$exfat_dev" "$work/exfat"
else
    echo "== exfat: cannot be mounted here (no loop device)"
fi

mkdir -p "$work/bind-source"
mount_on bindfs "$work/bindfs" bindfs "$work/bind-source" "$work/bindfs"

# sshfs to this machine: an SSH server of our own on a loopback port.
mkdir -p "$work/ssh" "$work/ssh-source" /run/sshd
ssh-keygen -q -t ed25519 -N '' -f "$work/ssh/host"
ssh-keygen -q -t ed25519 -N '' -f "$work/ssh/user"
cp "$work/ssh/user.pub" "$work/ssh/authorized"
/usr/sbin/sshd -D -p 2299 -h "$work/ssh/host" -o ListenAddress=127.0.0.1 \
    -o "AuthorizedKeysFile=$work/ssh/authorized" -o PermitRootLogin=prohibit-password \
    -o StrictModes=no &
sshd_pid=$!
sleep 1
mount_on sshfs "$work/sshfs" sshfs -p 2299 \
    -o "IdentityFile=$work/ssh/user,StrictHostKeyChecking=no,UserKnownHostsFile=/dev/null" \
    "root@127.0.0.1:$work/ssh-source" "$work/sshfs"

exit $failed
