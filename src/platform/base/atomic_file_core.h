#pragma once

// The program's one way to write a file whole, on file descriptors and byte strings only: the
// network-video module, which links none of the program's libraries, compiles it in. The rest of
// the program uses it through AtomicFile (platform/base/atomic_file.h).

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <string>

namespace velmar::atomic_file {

// A target whose mode bits give its owner no write permission (judged from the bits, also for
// root): `refuse` fails with EACCES and leaves it as it is (a file the operator protected);
// `replace` writes it anyway (the program's own files, which must stay writable).
enum class ReadOnlyTarget { refuse, replace };
// Something already at the name: `replace` puts the new file in its place; `keep` leaves it and
// fails with EEXIST (copies that must never overwrite one another).
enum class Existing { replace, keep };
// Whose file at the final name may be replaced: `self`, only this user's (the names the program
// picks itself); `anyone`, also another user's where the system lets this user replace it (a
// file the operator chose: opened, or confirmed to overwrite), as a teammate's project in a
// team's folder.
enum class Owner { self, anyone };
// A symbolic link at the name: `followOwn` follows it by the rule below; `refuse` refuses any
// (kLinkRefused), for names whose readers never follow one.
enum class Links { followOwn, refuse };

// Failures that are not the system's own error numbers.
inline constexpr int kNotRegular = -2;   // a device at the name
inline constexpr int kLinkRefused = -3;  // a symbolic link that is not safe to follow
inline constexpr int kOtherOwner = -4;   // another user's file (or anything) at the name

// A temporary that has not changed for this long belongs to a writer that was killed.
inline constexpr int kStaleSeconds = 60;
// Links followed one after another before the write fails with ELOOP.
inline constexpr int kMaxLinkHops = 40;

struct Options {
    ReadOnlyTarget readOnly = ReadOnlyTarget::refuse;
    Existing existing = Existing::replace;
    Owner owner = Owner::self;
    Links links = Links::followOwn;
    // The permission bits of a file made where there was none, less the process's umask; the
    // owner may always read and write it.
    mode_t newFileMode = 0644;
};

// What the new file holds: `size` bytes at `data`, or, when `copyFrom` is a descriptor, what is
// read from it up to its end.
struct Content {
    const char* data = nullptr;
    size_t size = 0;
    int copyFrom = -1;
};

// Replaces the file `name` in the folder open at `folderFd` (or the one at `path`; the folders on
// the way are left to the system) with `content`. 0 on success, else an error number (errno) or
// one of the codes above; on failure the file at the name is exactly as it was.
//
// - A symbolic link at the name is followed (its final target replaced, in the target's folder;
//   the link stays) only when it belongs to this user (effective user ID) and lies in a folder
//   that no other user can change: owned by this user or root, and either writable by its owner
//   alone or sticky. Every link on the way is checked so, at most kMaxLinkHops of them. Any other
//   link is refused (kLinkRefused): never written through, never replaced.
// - What is at the final name must be this user's (kOtherOwner; with Owner::anyone, another
//   user's that this user may write, else EACCES) regular file, pipe or socket (EISDIR for a
//   folder, kNotRegular for a device).
// - The new file keeps the old one's permission bits exactly (with ReadOnlyTarget::replace, plus
//   read and write for the owner), never the set-user-ID, set-group-ID or sticky bits.
// - The data goes to a new temporary beside the target, made with O_EXCL and O_NOFOLLOW and mode
//   0600, given its permission bits, written and synced; then it is renamed to the name (with
//   Existing::keep only where nothing is, by renameat2(RENAME_NOREPLACE), or link() and unlink()
//   on a file system that cannot) and the folder synced. Any failure removes it. Temporaries of the
//   same name that a killed writer left (removeLeftovers) are removed first.
// - A folder "no other user can change" (guardedFolder) may be writable by its group when that
//   group is the user's private group: their primary group, named as they are, with no other
//   member (where the system gives every user one, and a umask of 002).
//
// `written`, when given, receives the new file's status (its identity) on success.
int write(int folderFd, const char* name, const Content& content, const Options& options = {},
          struct stat* written = nullptr);
int write(const char* path, const Content& content, const Options& options = {},
          struct stat* written = nullptr);

// Whether write() would take `path` as the file it replaces, by the same rules for links, owner
// and type (its permission bits aside): 0, also when nothing is there, or the code write() would
// fail with. For readers that must not take as the user's what the writer refuses.
int check(const char* path, const Options& options = {});

// Whether no user but this one can put, move or remove a name in the folder of status `folder`:
// it is this user's or root's, and writable by no one else (its group may write when it is the
// user's private group), or sticky, where only an entry's owner may remove or rename it.
bool guardedFolder(const struct stat& folder);
// Whether `gid` is the user's private group (see above). Read once per process.
bool isPrivateGroup(gid_t gid);

// Removes the temporaries that writers of `path` left when they were killed, beside it and beside
// the final target of a link there followed as above: entries named exactly as write() names its
// temporaries (".<name>.tmp-<uuid>"), regular, this user's, unchanged for kStaleSeconds. A name
// alone proves nothing else ours: nothing else is touched.
void removeLeftovers(const char* path);
void removeLeftovers(int folderFd, const char* name);

// Removes, in a folder that is the program's alone (the backups' folder, where every copy has a
// name of its own and no later write of the same name would find them), the stale temporaries
// write() left of every name, by the same rules.
void removeAllLeftovers(const char* folder);

// The reason for a code of write() in English, for standard error and the log.
std::string errorText(int code);

}  // namespace velmar::atomic_file
