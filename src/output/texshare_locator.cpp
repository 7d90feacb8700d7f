#include "output/texshare_locator.h"

#include "platform/texshare/texture_server.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace velmar {
namespace {

class RuntimeServer final : public TexShareLocator::Server {
  public:
    explicit RuntimeServer(std::shared_ptr<texshare::TextureServer> server)
        : server_(std::move(server)) {}
    ~RuntimeServer() override { server_->stop(); }
    bool publishFrameTexture(const std::shared_ptr<gpu::Texture>& texture,
                             gpu::CommandBuffer& commandBuffer, gpu::BlitRegion region,
                             bool flipped) override {
        return server_->publishFrameTexture(texture, commandBuffer, region, flipped);
    }
    bool hasClients() override { return server_->hasClients(); }
    void stop() override { server_->stop(); }

  private:
    std::shared_ptr<texshare::TextureServer> server_;
};

class RuntimeServerClass final : public TexShareLocator::ServerClass {
  public:
    bool instancesRespondTo(const std::string& selector) const override {
        return selector == "initWithName:device:options:" ||
               selector == "publishFrameTexture:onCommandBuffer:imageRegion:flipped:";
    }
    std::unique_ptr<TexShareLocator::Server> makeServer(
        const QString& name, std::shared_ptr<gpu::Device> device) override {
        auto server = texshare::TextureServer::create(name.toStdString(), std::move(device));
        if (!server) return nullptr;
        return std::make_unique<RuntimeServer>(std::move(server));
    }
};

class RuntimeFramework final : public TexShareLocator::Framework {
  public:
    std::shared_ptr<TexShareLocator::ServerClass> classNamed(const std::string& name) override {
        if (name != "SyphonMetalServer") return nullptr;
        return std::make_shared<RuntimeServerClass>();
    }
};

class StandardLocator final : public TexShareLocator {
  public:
    std::optional<QString> applicationPath(const QString&) override {
        // The texture-share runtime is the library beside this program, so the program is the
        // application that carries it, whatever identifier is asked for.
        return QCoreApplication::applicationDirPath();
    }
    bool fileExists(const QString& path) override { return QFileInfo::exists(path); }
    std::shared_ptr<Framework> loadFramework(const QString& path) override {
        // The runtime is linked with the program: any path under its directory finds it.
        if (!path.startsWith(QCoreApplication::applicationDirPath())) return nullptr;
        return std::make_shared<RuntimeFramework>();
    }
};

}  // namespace

std::shared_ptr<TexShareLocator> TexShareLocator::standard() {
    return std::make_shared<StandardLocator>();
}

}  // namespace velmar
