#pragma once

#include "platform/gpu/blit_encoder.h"

#include <QString>

#include <memory>
#include <optional>
#include <string>

namespace velmar {

namespace gpu {
class CommandBuffer;
class Device;
class Texture;
}  // namespace gpu

// How the texture-share bridge finds what it borrows from the streaming application: the
// application's install location, its texture-share framework, and the framework's server
// class, looked up by name. Every call may fail the way the real lookups do; the server
// calls may throw (a platform exception), which the bridge catches. standard() finds the
// texture-share runtime beside this program (platform/texshare), whose servers publish to
// receivers in other processes; tests give their own.
class TexShareLocator {
  public:
    // A running server of the framework.
    class Server {
      public:
        virtual ~Server() = default;
        // Encodes the server's copy of `region` onto the command buffer. False when the server
        // does not take the frame. May throw.
        virtual bool publishFrameTexture(const std::shared_ptr<gpu::Texture>& texture,
                                         gpu::CommandBuffer& commandBuffer, gpu::BlitRegion region,
                                         bool flipped) = 0;
        virtual bool hasClients() = 0;  // may throw
        virtual void stop() = 0;        // may throw
    };
    // A class of the framework, found by name.
    class ServerClass {
      public:
        virtual ~ServerClass() = default;
        virtual bool instancesRespondTo(const std::string& selector) const = 0;
        // Null when no server can be made. May throw.
        virtual std::unique_ptr<Server> makeServer(const QString& name,
                                                   std::shared_ptr<gpu::Device> device) = 0;
    };
    // A loaded framework.
    class Framework {
      public:
        virtual ~Framework() = default;
        // Null when the framework has no class of that name.
        virtual std::shared_ptr<ServerClass> classNamed(const std::string& name) = 0;
    };

    virtual ~TexShareLocator() = default;
    // The install location of the application registered under the identifier; none when no
    // application is registered under it.
    virtual std::optional<QString> applicationPath(const QString& bundleIdentifier) = 0;
    virtual bool fileExists(const QString& path) = 0;
    // Loads the framework binary at `path` (immediate binding, local symbols); null when it
    // cannot be loaded.
    virtual std::shared_ptr<Framework> loadFramework(const QString& path) = 0;

    // The application that carries the framework is this program itself: its directory is the
    // install location, and the framework under it is the texture-share runtime.
    static std::shared_ptr<TexShareLocator> standard();
};

}  // namespace velmar
