#pragma once

// The C interface of the texture-share runtime, the shared library beside the program
// (libvelmar-texshare.so). A server publishes BGRA8 frames under a name to receivers in other
// processes of the same user:
//
// - The server directory is a folder of the user's own ($XDG_RUNTIME_DIR/velmar-texshare, or
//   /tmp/velmar-texshare-<uid> without a runtime folder), mode 0700. Each running
//   server listens there on a Unix sequenced-packet socket named after it; the socket goes away
//   when the server stops.
// - Frames live in a ring of a few slots in one shared-memory file (memfd) that the server hands
//   to each receiver over the socket (SCM_RIGHTS). Each new frame goes into the slot after the
//   newest one, guarded by a sequence counter, so a receiver copies a slot without ever holding
//   the server back and finds out when a slot was rewritten under it.
// - The file is sealed: it can neither shrink nor grow, and nothing but the server's own mapping
//   can write it, so a receiver (even one that reopens its descriptor read-write) can only read
//   the frames the others copy. A receiver takes a ring only when its file is sealed against
//   shrinking and the layout the server describes lies inside it; any other ring is ignored (the
//   receiver keeps the ring it had, if any, and copies no frame from the refused one).
// - Frame notices go to each receiver over its socket without blocking; a receiver whose socket
//   is full misses notices (it reads the newest frame from the ring anyway), one that has gone
//   is dropped on the next send or client update.
//
// Frames are served bottom row first, 4 bytes per pixel (B, G, R, A), rows packed.

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define VELMAR_TEXSHARE_API_VERSION 1

// ---- The server directory ------------------------------------------------------------------

// Writes the directory's path (NUL-terminated) into `path`; returns its length, or 0 when it
// does not fit or cannot be made safely (created 0700 when missing; refused when it is not a
// directory of this user that only this user can write).
size_t velmar_texshare_directory(char* path, size_t capacity);

typedef void (*VelmarTexShareServerCallback)(const char* name, void* context);
// Calls `callback` with the name of every running server (stale sockets of servers that died
// are skipped without being counted as clients); returns how many there were.
int velmar_texshare_list_servers(VelmarTexShareServerCallback callback, void* context);

// ---- Serving (one server per name; the newest server of a name is the one receivers find) --

typedef struct VelmarTexShareServer VelmarTexShareServer;

typedef struct VelmarTexShareServerStats {
    int64_t noticesSent;
    int64_t noticesDropped;    // a receiver's socket was full
    int64_t receiversDropped;  // gone (end of file, broken pipe) or misbehaving
    int receivers;
} VelmarTexShareServerStats;

// Null for an empty or unusable name or when the socket cannot be made.
VelmarTexShareServer* velmar_texshare_server_create(const char* name);
// Unlists the server (its own socket only), closes every receiver's connection and the ring.
void velmar_texshare_server_destroy(VelmarTexShareServer* server);
// Takes in receivers that have connected and greeted, drops those that have gone; never
// blocks. Returns the number of receivers.
int velmar_texshare_server_update_clients(VelmarTexShareServer* server);
int velmar_texshare_server_receiver_count(const VelmarTexShareServer* server);
// Makes the ring hold frames of this size (a new shared-memory file when the size changes).
// Returns 0 when the memory cannot be made.
int velmar_texshare_server_prepare(VelmarTexShareServer* server, int width, int height);
// The slot to fill with the next frame (height rows of 4 x width bytes, bottom row first), or
// null when the ring is not of this size. Follow with end_frame.
uint8_t* velmar_texshare_server_begin_frame(VelmarTexShareServer* server, int width, int height);
// Publishes the slot filled since begin_frame as frame `number` and notifies every receiver
// without blocking.
void velmar_texshare_server_end_frame(VelmarTexShareServer* server, uint64_t number);
void velmar_texshare_server_stats(const VelmarTexShareServer* server,
                                  VelmarTexShareServerStats* out);

// The calls on one server are not thread-safe: the caller serialises them.

// ---- Receiving ----------------------------------------------------------------------------

typedef struct VelmarTexShareClient VelmarTexShareClient;

typedef struct VelmarTexShareFrameInfo {
    int width;
    int height;
    size_t bytesPerRow;
    uint64_t number;  // counts up from 1 with each frame the server served
} VelmarTexShareFrameInfo;

// Connects to the running server of that name and greets it, without waiting; null when there
// is none, or when it cannot take one more connection just now (try again later).
VelmarTexShareClient* velmar_texshare_client_connect(const char* name);
void velmar_texshare_client_destroy(VelmarTexShareClient* client);
// The socket to wait on (readable when a notice arrives or the server goes).
int velmar_texshare_client_fd(const VelmarTexShareClient* client);
// Reads what the server sent without blocking; 1 while the server runs, 0 once it has gone.
int velmar_texshare_client_is_connected(VelmarTexShareClient* client);
// Waits up to `timeoutMs` (-1: no limit) for a notice or the server's end; 1 when there is
// something to read, 0 on timeout.
int velmar_texshare_client_wait(VelmarTexShareClient* client, int timeoutMs);
// Copies the server's newest frame into `bytes` when it is newer than `after` (a frame number;
// 0 for any). Returns 1 with `info` filled when a frame was copied; 0 when there is none newer,
// or the slot was being rewritten while it was read (ask again); -1 when the server has gone;
// -2 when `capacity` is too small (`info` then says the size).
int velmar_texshare_client_copy_frame(VelmarTexShareClient* client, uint64_t after, void* bytes,
                                      size_t capacity, VelmarTexShareFrameInfo* info);

#ifdef __cplusplus
}
#endif
