#pragma once

#include "output/texshare_locator.h"

#include <stdexcept>

namespace velmar::test {

// A texture-share locator whose every step can be made to fail, recording what it was asked.
struct FakeTexShareLocator final : TexShareLocator {
    std::optional<QString> registeredAt;  // application path by identifier
    QString existingFile;                 // the one file that exists
    bool frameworkLoads = true;
    bool hasServerClass = true;
    bool respondsToInit = true;
    bool respondsToPublish = true;
    bool makeThrows = false;
    bool makeGivesNone = false;
    bool publishThrows = false;
    bool publishAccepts = true;
    bool clients = true;

    QString askedIdentifier;
    QString loadedPath;
    int publishes = 0;
    int stops = 0;

    struct Server final : TexShareLocator::Server {
        FakeTexShareLocator& owner;
        explicit Server(FakeTexShareLocator& o) : owner(o) {}
        bool publishFrameTexture(const std::shared_ptr<gpu::Texture>&, gpu::CommandBuffer&,
                                 gpu::BlitRegion, bool) override {
            ++owner.publishes;
            if (owner.publishThrows) throw std::runtime_error("publish");
            return owner.publishAccepts;
        }
        bool hasClients() override { return owner.clients; }
        void stop() override { ++owner.stops; }
    };
    struct Class final : TexShareLocator::ServerClass {
        FakeTexShareLocator& owner;
        explicit Class(FakeTexShareLocator& o) : owner(o) {}
        bool instancesRespondTo(const std::string& selector) const override {
            if (selector == "initWithName:device:options:") return owner.respondsToInit;
            if (selector == "publishFrameTexture:onCommandBuffer:imageRegion:flipped:")
                return owner.respondsToPublish;
            return false;
        }
        std::unique_ptr<TexShareLocator::Server> makeServer(const QString& name,
                                                            std::shared_ptr<gpu::Device>) override {
            if (owner.makeThrows) throw std::runtime_error("init");
            if (owner.makeGivesNone || name != "DOVRINE") return nullptr;
            return std::make_unique<Server>(owner);
        }
    };
    struct Framework final : TexShareLocator::Framework {
        FakeTexShareLocator& owner;
        explicit Framework(FakeTexShareLocator& o) : owner(o) {}
        std::shared_ptr<ServerClass> classNamed(const std::string& name) override {
            if (!owner.hasServerClass || name != "SyphonMetalServer") return nullptr;
            return std::make_shared<Class>(owner);
        }
    };

    std::optional<QString> applicationPath(const QString& identifier) override {
        askedIdentifier = identifier;
        return registeredAt;
    }
    bool fileExists(const QString& path) override { return path == existingFile; }
    std::shared_ptr<TexShareLocator::Framework> loadFramework(const QString& path) override {
        loadedPath = path;
        if (!frameworkLoads) return nullptr;
        return std::make_shared<Framework>(*this);
    }
};

}  // namespace velmar::test
