#pragma once

#include "output/texshare_locator.h"

#include <QString>

#include <memory>
#include <optional>

namespace velmar {

namespace gpu {
class CommandBuffer;
class Device;
class Texture;
}  // namespace gpu

// Publishes textures through the texture-share framework that the streaming application
// carries: finds the application, loads its framework, makes a server named "DOVRINE" and
// publishes frames on the caller's command buffer (the server encodes its copy there).
// Failures are kept as a fixed message in errorMessage(); a failed start's message is a string
// key, which the caller looks up to show it. Main thread.
class ZRSyphonBridge {
  public:
    // The identifier the streaming application is registered under, and where it is installed
    // when it is not registered.
    static const QString kStreamingAppBundleIdentifier;
    static const QString kDefaultApplicationPath;
    static const QString kFrameworkPath;  // relative to the application

    explicit ZRSyphonBridge(std::shared_ptr<TexShareLocator> locator = TexShareLocator::standard());
    ~ZRSyphonBridge();
    ZRSyphonBridge(const ZRSyphonBridge&) = delete;
    ZRSyphonBridge& operator=(const ZRSyphonBridge&) = delete;

    // Stops any server, then finds, loads and starts anew. False with errorMessage() set.
    bool startWithDevice(std::shared_ptr<gpu::Device> device);
    // Publishes the whole texture, flipped (our textures are top row first). False without a
    // texture, command buffer or server, when the server declines the frame, or (with
    // errorMessage() set) when it raises an exception.
    bool publishTexture(const std::shared_ptr<gpu::Texture>& texture,
                        gpu::CommandBuffer* commandBuffer);
    bool hasClients() const;
    void stop();

    bool isRunning() const { return server_ != nullptr; }
    const std::optional<QString>& errorMessage() const { return errorMessage_; }

  private:
    std::shared_ptr<TexShareLocator> locator_;
    // The framework stays loaded while its server lives.
    std::shared_ptr<TexShareLocator::Framework> framework_;
    std::unique_ptr<TexShareLocator::Server> server_;
    std::optional<QString> errorMessage_;
};

}  // namespace velmar
