#include "config/catalogue.h"

#include "config/update_context.h"
#include "platform/strings.h"
#include "platform/text.h"

namespace {

struct CatalogueDefault {
    const char* key;
    const char* text;
};

// Kept byte for byte in UTF-8 (this file is UTF-8): they pass the same display
// conversion as the catalogue's own texts.
constexpr CatalogueDefault kDefaults[] = {
    {"MSG_UAC_TITLE", "使用者帳戶控制(UAC)"},
    {"MSG_UAC_CANTWRITE", "沒有檔案寫入權限,請檢查你的執行身分"},
    {"MSG_NET_ERROR", "連線失敗, 請檢查你的網路或防火牆設定"},
    // A refused unsigned or changed package; English until a region's catalogue says it.
    {"MSG_VERIFY_FAIL", "Can't verify ClientUpdate.zip"},
};

}  // namespace

std::string catalogueText(const std::string& key) {
    std::string fallback;
    for (const auto& entry : kDefaults)
        if (key == entry.key) fallback = entry.text;
    updateContext.messages.section = "BOOT";
    return toDisplayText(updateContext.messages.GetString(key, fallback));
}

bool isCatalogueKey(const std::string& key) {
    for (const auto& entry : kDefaults)
        if (platform::equalsIgnoreCase(key, entry.key)) return true;
    return false;
}

std::string toDisplayText(const std::string& text) {
    return toDisplayText(text, platform::ansiCodeset().c_str());
}

std::string toDisplayText(const std::string& text, const char* targetCodeset) {
    std::string wide;
    if (!platform::convertText(text, "UTF-8", "UTF-16LE", wide)) return {};
    if (wide.size() / 2 > kDisplayTextLimit) return {};
    std::string display;
    if (!platform::convertText(wide, "UTF-16LE", targetCodeset, display)) return {};
    if (display.size() > kDisplayTextLimit) return {};
    return display;
}
