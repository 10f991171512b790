#include "res/PopupPage.h"

#include <string_view>

#include "platform/WebUrl.h"
#include "res/BuildHomeUrl.h"
#include "res/PageResources.h"

namespace {

constexpr std::string_view kPlaceholder = "@NOTIFIER_HOME_URL@";

}  // namespace

const char* BuildHomeUrl() { return NOTIFIER_HOME_URL; }

std::shared_ptr<GBytes> PopupPage(const std::string& homeUrl) {
    g_autoptr(GBytes) bundled =
        g_resource_lookup_data(PageResources(), kPopupPageKey, G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr);
    // The staging step refuses a page without the placeholder, so a miss here is a broken build.
    g_assert(bundled != nullptr);
    gsize size = 0;
    const auto* data = static_cast<const char*>(g_bytes_get_data(bundled, &size));
    std::string page(data, size);
    const std::string attribute = platform::WebUrlAttribute(homeUrl);
    for (auto at = page.find(kPlaceholder); at != std::string::npos;
         at = page.find(kPlaceholder, at + attribute.size()))
        page.replace(at, kPlaceholder.size(), attribute);
    return {g_bytes_new(page.data(), page.size()), g_bytes_unref};
}
