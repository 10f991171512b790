#include "app/ModuleDirectory.h"
#include "app/NotifierApp.h"
#include "app/UserSettings.h"
#include "platform/DebugLog.h"
#include "res/PopupPage.h"
#include "store/ItemStore.h"

#ifndef NOTIFIER_FEED_URL
#error "NOTIFIER_FEED_URL must name the feed endpoint"
#endif

namespace {

// The one item store of the process: opened before main, closed by static destruction after main
// has returned and the poll worker is joined.
ItemStore g_store(app::ModuleDirectory(), &platform::DebugLog);

}  // namespace

int main(int argc, char** argv) {
    const app::Links links = app::LoadUserSettings({.feedUrl = NOTIFIER_FEED_URL, .homeUrl = BuildHomeUrl()});
    return RunNotifier(g_store, links.feedUrl, links.homeUrl, argc, argv);
}
