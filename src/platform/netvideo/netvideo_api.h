#pragma once

// The C interface of the network-video runtime, a shared library loaded at run time. Its one
// exported entry (kNetVideoEntryPoint) returns a versioned table of calls; a caller checks the
// version and size before using any entry. The runtime serves each named sender as a NUT stream
// (BGRA video, 48 kHz stereo float audio) to TCP clients on 127.0.0.1, at most
// kNetVideoMaxReceivers at once.

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define VELMAR_NETVIDEO_API_VERSION 1

typedef struct VelmarNetVideoSender VelmarNetVideoSender;

typedef struct VelmarNetVideoSenderSettings {
    const char* name;    // UTF-8; names the address file and the stream
    const char* groups;  // unused, may be null
    int clockVideo;      // the runtime never paces: both must be 0
    int clockAudio;
} VelmarNetVideoSenderSettings;

typedef struct VelmarNetVideoVideoFrame {
    int xres;
    int yres;
    uint32_t fourCC;  // 'BGRA' only
    int frameRateN;
    int frameRateD;
    float pictureAspectRatio;
    int frameFormatType;  // 1 = progressive
    int64_t timecode;
    const uint8_t* data;
    int lineStrideInBytes;  // at least 4 x xres
    const char* metadata;
    int64_t timestamp;
} VelmarNetVideoVideoFrame;

typedef struct VelmarNetVideoAudioFrame {
    int sampleRate;
    int channels;
    int samples;
    int64_t timecode;
    uint32_t fourCC;  // 'FLTp': planar 32-bit float
    const float* data;
    int channelStrideInBytes;
    const char* metadata;
    int64_t timestamp;
} VelmarNetVideoAudioFrame;

typedef struct VelmarNetVideoApi {
    uint32_t version;     // VELMAR_NETVIDEO_API_VERSION
    uint32_t structSize;  // sizeof(VelmarNetVideoApi) of the runtime
    int (*initialize)(void);
    void (*destroy)(void);
    int (*isSupportedCPU)(void);
    VelmarNetVideoSender* (*sendCreate)(const VelmarNetVideoSenderSettings* settings);
    void (*sendDestroy)(VelmarNetVideoSender* sender);
    // Lends the frame: the runtime may read its bytes until the next video send or flush (a
    // null frame) on the same sender. Never blocks on receivers.
    void (*sendVideoAsync)(VelmarNetVideoSender* sender, const VelmarNetVideoVideoFrame* frame);
    // Copies the samples before returning.
    void (*sendAudio)(VelmarNetVideoSender* sender, const VelmarNetVideoAudioFrame* frame);
    int (*sendGetConnections)(VelmarNetVideoSender* sender, uint32_t timeoutMs);
} VelmarNetVideoApi;

typedef const VelmarNetVideoApi* (*VelmarNetVideoLoadFunction)(void);

// Test hooks exported beside the entry point.
typedef struct VelmarNetVideoStats {
    int64_t contractViolations;  // lent frames found changed at the next send or flush
    int64_t videoFramesAccepted;
    int64_t videoFramesRefused;
    int64_t audioFramesAccepted;
    int lastWidth;
    int lastHeight;
    int lastFrameRateN;
    int lastFrameRateD;
    int64_t receiversRefused;   // closed at once: as many receivers as allowed were connected
    int64_t receiversDropped;   // dropped by the sender: took nothing for too long, or talked
    int64_t writerRests;        // writer passes that waited out their poll with nothing to do
    int64_t queuedAudioFrames;  // audio frames waiting in receivers' queues, all senders together
} VelmarNetVideoStats;

enum {
    kVelmarNetVideoFailInitialize = 1,
    kVelmarNetVideoUnsupportedCPU = 2,
    kVelmarNetVideoRefuseSender = 4,
};

typedef void (*VelmarNetVideoStatsFunction)(VelmarNetVideoStats* out);
typedef void (*VelmarNetVideoFaultsFunction)(unsigned faults);

#ifdef __cplusplus
}

namespace velmar {
inline constexpr const char* kNetVideoLibraryName = "libvelmar-netvideo.so";
inline constexpr const char* kNetVideoEntryPoint = "velmar_netvideo_load";
inline constexpr const char* kNetVideoStatsHook = "velmar_netvideo_test_stats";
inline constexpr const char* kNetVideoFaultsHook = "velmar_netvideo_test_set_faults";
// Receivers served at once by one sender; one more is closed as soon as it connects.
inline constexpr int kNetVideoMaxReceivers = 8;
inline constexpr uint32_t kNetVideoFourCCBGRA =
    'B' | ('G' << 8) | ('R' << 16) | (uint32_t('A') << 24);
inline constexpr uint32_t kNetVideoFourCCFLTp =
    'F' | ('L' << 8) | ('T' << 16) | (uint32_t('p') << 24);
}  // namespace velmar
#endif
