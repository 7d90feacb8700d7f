#pragma once

#include <cstddef>
#include <memory>
#include <utility>

namespace velmar {

namespace gpu {
class Buffer;
class CommandBuffer;
class ComputePipelineState;
class Device;
class Texture;
}  // namespace gpu

// What the 10-bit packers (V210Packer, AY10Packer) share: the size and row length, the
// pipeline of their compute kernel, and the recording of one dispatch that turns a BGRA8
// canvas of the packer's size into packed rows. A derived packer names its Format and adds
// what only its format needs.
//
// Threads: immutable after creation; encode may run on any thread.
class TenBitPacker {
  public:
    // The layout of one packed format.
    struct Format {
        const char* function;  // the compute kernel in the device's default library
        size_t padPixels;      // rows are padded to a multiple of this many pixels ...
        size_t padBytes;       // ... each multiple taking this many bytes
        size_t unitBytes;      // one kernel thread writes one unit of this many bytes
    };

    int width() const { return width_; }
    int height() const { return height_; }
    size_t rowBytes() const { return rowBytes_; }
    const std::shared_ptr<gpu::Device>& device() const { return device_; }
    const std::shared_ptr<gpu::ComputePipelineState>& pipeline() const { return pipeline_; }

    // Records the packing of `source` (BGRA8, exactly width x height) into `buffer` (at least
    // rowBytes * height bytes). False, with nothing recorded, for another source size or
    // format, a short or missing buffer, or when no compute encoder can be opened. The caller
    // commits.
    bool encode(const std::shared_ptr<gpu::Texture>& source,
                const std::shared_ptr<gpu::Buffer>& buffer,
                gpu::CommandBuffer& commandBuffer) const;

    // The luma coefficients (Kr, Kb) for a picture height: BT.709 (0.2126, 0.0722) from 720
    // lines up, else BT.601 (0.299, 0.114).
    static std::pair<float, float> lumaCoefficients(int height);

  protected:
    TenBitPacker(std::shared_ptr<gpu::Device> device,
                 std::shared_ptr<gpu::ComputePipelineState> pipeline, int width, int height,
                 const Format& format);
    ~TenBitPacker() = default;

    // A packer of type P (which names its layout as P::kFormat): null for a width or height
    // below 1 or above the device's texture limit, or when the library has no such kernel or
    // its pipeline cannot be made.
    template <typename P>
    static std::shared_ptr<P> make(std::shared_ptr<gpu::Device> device, int width, int height) {
        auto pipeline = makePipeline(device, width, height, P::kFormat.function);
        if (!pipeline) return {};
        return std::make_shared<P>(std::move(device), std::move(pipeline), width, height);
    }

  private:
    static std::shared_ptr<gpu::ComputePipelineState> makePipeline(
        const std::shared_ptr<gpu::Device>& device, int width, int height, const char* function);

    int width_;
    int height_;
    size_t rowBytes_;
    size_t unitBytes_;
    std::shared_ptr<gpu::Device> device_;
    std::shared_ptr<gpu::ComputePipelineState> pipeline_;
};

}  // namespace velmar
