#pragma once

namespace velmar::gpu {

class CommandBuffer;
class Device;

// Runs the recorded work of a committed command buffer on the device's thread pool. Called by
// the queue's worker only, one buffer at a time. Internal to platform/gpu.
struct Executor {
    static void run(CommandBuffer& buffer, Device& device);
};

}  // namespace velmar::gpu
