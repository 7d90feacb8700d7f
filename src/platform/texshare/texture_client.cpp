#include "platform/texshare/texture_client.h"

#include "platform/texshare/texture_server.h"

namespace velmar::texshare {

TextureClient::TextureClient(const std::string& serverName)
    : server_(TextureServer::find(serverName)) {
    if (server_) server_->attachClient();
}

TextureClient::~TextureClient() {
    if (server_) server_->detachClient();
}

bool TextureClient::isConnected() const {
    return server_ && server_->isRunning();
}

std::optional<ServedFrame> TextureClient::latestFrame() const {
    return server_ ? server_->latestFrame() : std::nullopt;
}

}  // namespace velmar::texshare
