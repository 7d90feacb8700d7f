/* A receiver of the texture feed in a process of its own, linked only against the runtime's C
 * client, driven by the tests through its arguments and its standard output (one line per
 * event):
 *
 *   texture_receiver NAME watch        "absent" when NAME is not listed at first, then "listed",
 *                                      "connected", "gone" when the server ends the connection,
 *                                      "unlisted" once the directory no longer lists it
 *   texture_receiver NAME frames N FILE  "connected", then for each of N new frames its bytes
 *                                      written to FILE and "frame NUMBER WIDTH HEIGHT"; then it
 *                                      stays connected until its standard input ends
 *   texture_receiver NAME stall        "connected", then never reads again (until killed)
 *   texture_receiver NAME probe        "connected", then for each line on its standard input one
 *                                      copy of the newest frame: "copy RESULT WIDTH HEIGHT
 *                                      NUMBER", the answer and the frame as the client told them
 *
 * It gives up after a minute whatever happens, so that a failing test leaves nothing behind. */

#include "platform/texshare/runtime/texshare_api.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

typedef struct {
    const char* name;
    int listed;
} Lookup;

static void found(const char* name, void* context) {
    Lookup* lookup = (Lookup*)context;
    if (strcmp(name, lookup->name) == 0) lookup->listed = 1;
}

static int isListed(const char* name) {
    Lookup lookup = {name, 0};
    velmar_texshare_list_servers(found, &lookup);
    return lookup.listed;
}

static void pauseBriefly(void) {
    const struct timespec step = {0, 2 * 1000 * 1000};
    nanosleep(&step, NULL);
}

static VelmarTexShareClient* connectWhenListed(const char* name) {
    while (!isListed(name)) pauseBriefly();
    VelmarTexShareClient* client = velmar_texshare_client_connect(name);
    if (client) printf("connected\n");
    return client;
}

static int watch(const char* name) {
    if (!isListed(name)) printf("absent\n");
    while (!isListed(name)) pauseBriefly();
    printf("listed\n");
    VelmarTexShareClient* client = connectWhenListed(name);
    if (!client) return 1;
    while (velmar_texshare_client_is_connected(client)) velmar_texshare_client_wait(client, -1);
    printf("gone\n");
    velmar_texshare_client_destroy(client);
    while (isListed(name)) pauseBriefly();
    printf("unlisted\n");
    return 0;
}

static int frames(const char* name, int count, const char* path) {
    VelmarTexShareClient* client = connectWhenListed(name);
    if (!client) return 1;
    uint64_t last = 0;
    size_t capacity = 0;
    unsigned char* bytes = NULL;
    for (int received = 0; received < count;) {
        VelmarTexShareFrameInfo info;
        const int got = velmar_texshare_client_copy_frame(client, last, bytes, capacity, &info);
        if (got == -1) {
            printf("gone\n");
            return 1;
        }
        if (got == -2) {
            capacity = info.bytesPerRow * (size_t)info.height;
            bytes = realloc(bytes, capacity);
            continue;
        }
        if (got == 0) {
            velmar_texshare_client_wait(client, 100);
            continue;
        }
        FILE* out = fopen(path, "wb");
        if (!out) return 1;
        fwrite(bytes, 1, info.bytesPerRow * (size_t)info.height, out);
        fclose(out);
        last = info.number;
        ++received;
        printf("frame %llu %d %d\n", (unsigned long long)info.number, info.width, info.height);
    }
    char ignored[64];
    while (fgets(ignored, sizeof ignored, stdin)) {
    }
    free(bytes);
    velmar_texshare_client_destroy(client);
    return 0;
}

static int probe(const char* name) {
    VelmarTexShareClient* client = connectWhenListed(name);
    if (!client) return 1;
    size_t capacity = 0;
    unsigned char* bytes = NULL;
    char line[64];
    while (fgets(line, sizeof line, stdin)) {
        VelmarTexShareFrameInfo info = {0, 0, 0, 0};
        int got = velmar_texshare_client_copy_frame(client, 0, bytes, capacity, &info);
        if (got == -2) {
            capacity = info.bytesPerRow * (size_t)info.height;
            bytes = realloc(bytes, capacity);
            got = velmar_texshare_client_copy_frame(client, 0, bytes, capacity, &info);
        }
        printf("copy %d %d %d %llu\n", got, info.width, info.height,
               (unsigned long long)info.number);
    }
    free(bytes);
    velmar_texshare_client_destroy(client);
    return 0;
}

int main(int argc, char** argv) {
    setvbuf(stdout, NULL, _IOLBF, 0);
    alarm(60);
    if (argc >= 3 && strcmp(argv[2], "watch") == 0) return watch(argv[1]);
    if (argc >= 5 && strcmp(argv[2], "frames") == 0) return frames(argv[1], atoi(argv[3]), argv[4]);
    if (argc >= 3 && strcmp(argv[2], "probe") == 0) return probe(argv[1]);
    if (argc >= 3 && strcmp(argv[2], "stall") == 0) {
        if (!connectWhenListed(argv[1])) return 1;
        for (;;) pause();
    }
    fprintf(stderr, "usage: texture_receiver NAME watch|frames N FILE|stall|probe\n");
    return 2;
}
