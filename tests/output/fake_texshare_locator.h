#pragma once

#include "output/texshare_locator.h"

#include <stdexcept>

namespace velmar::test {

// A texture-share locator whose every step can be made to fail, recording what it was asked.
struct FakeTexShareLocator final : TexShareLocator, TexShareLocator::Framework {
    std::optional<QString> registeredAt;
    QString existingFile;
    bool loads = true, hasClass = true, init = true, publish = true, makeThrows = false,
         makeNone = false, publishThrows = false, publishAccepts = true;
    QString askedIdentifier, loadedPath;
    int publishes = 0, stops = 0;

    struct Server final : TexShareLocator::Server {
        FakeTexShareLocator& l;
        explicit Server(FakeTexShareLocator& o) : l(o) {}
        bool publishFrameTexture(const std::shared_ptr<gpu::Texture>&, gpu::CommandBuffer&,
                                 gpu::BlitRegion, bool) override {
            ++l.publishes;
            if (l.publishThrows) throw std::runtime_error("publish");
            return l.publishAccepts;
        }
        bool hasClients() override { return true; }
        void stop() override { ++l.stops; }
    };
    struct Class final : TexShareLocator::ServerClass {
        FakeTexShareLocator& l;
        explicit Class(FakeTexShareLocator& o) : l(o) {}
        bool instancesRespondTo(const std::string& s) const override {
            return s == "initWithName:device:options:"
                       ? l.init
                       : s == "publishFrameTexture:onCommandBuffer:imageRegion:flipped:" &&
                             l.publish;
        }
        std::unique_ptr<TexShareLocator::Server> makeServer(const QString& name,
                                                            std::shared_ptr<gpu::Device>) override {
            if (l.makeThrows) throw std::runtime_error("init");
            return l.makeNone || name != "DOVRINE" ? nullptr : std::make_unique<Server>(l);
        }
    };

    std::shared_ptr<ServerClass> classNamed(const std::string& name) override {
        return hasClass && name == "SyphonMetalServer" ? std::make_shared<Class>(*this) : nullptr;
    }
    std::optional<QString> applicationPath(const QString& identifier) override {
        askedIdentifier = identifier;
        return registeredAt;
    }
    bool fileExists(const QString& path) override { return path == existingFile; }
    std::shared_ptr<TexShareLocator::Framework> loadFramework(const QString& path) override {
        loadedPath = path;
        // Not owning: the locator outlives the bridges of a test.
        return loads ? std::shared_ptr<TexShareLocator::Framework>(std::shared_ptr<void>(), this)
                     : nullptr;
    }
};

}  // namespace velmar::test
