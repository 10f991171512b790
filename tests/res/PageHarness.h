#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <cairo.h>
#include <webkit2/webkit2.h>

// A real WebKit view in a toplevel window that loads the popup page from PageResources() through a
// `res` scheme of its own, counting every request. Used by the page's browser tests; it waits by
// iterating the default main context, which only a test may do.
class PageHarness {
  public:
    PageHarness();
    ~PageHarness();
    PageHarness(const PageHarness&) = delete;
    PageHarness& operator=(const PageHarness&) = delete;

    // Loads res:///<path> and waits for the load to finish. False when it failed or timed out.
    bool Load(const std::string& path = "/23/popup.html");

    // Runs `js` in the page's global scope and returns its value as text, or nothing when it threw.
    std::optional<std::string> Eval(const std::string& js);

    // Runs each text in one script task through the host's batch runner; one flag per text.
    std::vector<bool> RunBatch(const std::vector<std::string>& texts);

    // Iterates the main loop for `duration`.
    void Spin(std::chrono::milliseconds duration);

    // Lower-cased request paths the scheme answered, and those it answered with 404.
    const std::map<std::string, int>& Served() const { return m_served; }
    const std::map<std::string, int>& Missing() const { return m_missing; }
    void ResetCounts();

    // The visible part of the view; null on failure. The caller destroys it.
    cairo_surface_t* Snapshot();

  private:
    static void OnSchemeRequest(WebKitURISchemeRequest* request, gpointer self);
    void Serve(WebKitURISchemeRequest* request);
    bool WaitFor(const bool& flag, std::chrono::milliseconds timeout);

    WebKitWebContext* m_context = nullptr;
    GtkWidget* m_window = nullptr;
    WebKitWebView* m_view = nullptr;
    std::map<std::string, int> m_served;
    std::map<std::string, int> m_missing;
};

// The host's item call with every value escaped: AddAllItem("p","0",...), or another function's.
std::string AddAllItemCall(const std::vector<std::string>& values,
                           const std::string& function = "AddAllItem");
