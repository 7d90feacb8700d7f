#include "platform/texshare/texture_client.h"

#include "platform/texshare/runtime/texshare_api.h"

namespace velmar::texshare {

TextureClient::TextureClient(const std::string& serverName)
    : client_(velmar_texshare_client_connect(serverName.c_str())) {}

TextureClient::~TextureClient() {
    velmar_texshare_client_destroy(client_);
}

bool TextureClient::isConnected() const {
    std::lock_guard lock(mutex_);
    return velmar_texshare_client_is_connected(client_) == 1;
}

std::optional<ServedFrame> TextureClient::latestFrame() const {
    std::lock_guard lock(mutex_);
    if (!client_) return std::nullopt;
    VelmarTexShareFrameInfo info{};
    std::shared_ptr<std::vector<uint8_t>> bytes;
    // A copy that met the server rewriting its slot is asked for again; the server writes each
    // new frame into another slot, so a second or third try finds a settled one.
    for (int attempt = 0; attempt < 8; ++attempt) {
        const size_t capacity = bytes ? bytes->size() : 0;
        const int got = velmar_texshare_client_copy_frame(
            client_, 0, bytes ? bytes->data() : nullptr, capacity, &info);
        if (got == 1)
            return ServedFrame{info.width, info.height, info.bytesPerRow, info.number, bytes};
        if (got == -2) {
            bytes = std::make_shared<std::vector<uint8_t>>(info.bytesPerRow * size_t(info.height));
        } else if (got == -1 || !bytes) {  // gone, or no frame yet
            return std::nullopt;
        }
    }
    return std::nullopt;
}

}  // namespace velmar::texshare
