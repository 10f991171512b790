#pragma once

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "popup/IPopupSurface.h"
#include "webhost/IBrowserEngine.h"

namespace popup_test {

// Everything a fake engine saw, kept by the test so that it outlives the engine itself.
struct EngineLog {
    struct Batch {
        std::vector<std::string> texts;
        WebWindow::IBrowserEngine::ScriptDone done;  // empty once answered
        bool withDocument = false;
    };
    struct Advised {
        WebWindow::EventSource source;
        std::string elementId;
        WebWindow::IEventSink* sink;
    };

    bool createOk = true;
    bool hasDocument = false;
    bool closed = false;
    WebWindow::Rect createdAt;
    std::string navigatedTo;
    bool shown = false;
    std::set<std::string> elementIds{"all_notify_setread", "all_notify_remove", "button_close"};
    std::vector<Batch> batches;
    std::map<uint32_t, Advised> sinks;
    std::vector<uint32_t> unadvised;
    uint32_t nextCookie = 1;

    // Every text sent to the page, in order, across batches.
    std::vector<std::string> Texts() const {
        std::vector<std::string> all;
        for (const Batch& b : batches) all.insert(all.end(), b.texts.begin(), b.texts.end());
        return all;
    }
    size_t Pending() const {
        size_t n = 0;
        for (const Batch& b : batches) n += b.done ? 1 : 0;
        return n;
    }
    // Answers the oldest unanswered batch; `ok` decides each text's flag. False when none is waiting.
    bool AnswerNext(const std::function<bool(const std::string&)>& ok = {}) {
        for (size_t i = 0; i < batches.size(); ++i) {
            if (!batches[i].done) continue;
            auto done = std::exchange(batches[i].done, {});
            std::vector<bool> flags;
            for (const std::string& t : batches[i].texts) flags.push_back(ok ? ok(t) : true);
            done(std::move(flags));  // may send further batches
            return true;
        }
        return false;
    }
    void AnswerAll(const std::function<bool(const std::string&)>& ok = {}) {
        while (AnswerNext(ok)) {
        }
    }
    WebWindow::IEventSink* SinkFor(WebWindow::EventSource source, const std::string& id = {}) const {
        for (const auto& [cookie, a] : sinks) {
            if (a.source == source && a.elementId == id) return a.sink;
        }
        return nullptr;
    }
};

class FakeEngine : public WebWindow::IBrowserEngine {
  public:
    explicit FakeEngine(std::shared_ptr<EngineLog> log) : m_log(std::move(log)) {}
    ~FakeEngine() override { Close(); }

    bool Create(platform::HWND, const WebWindow::Rect& rc) override {
        m_log->createdAt = rc;
        return m_log->createOk;
    }
    void Navigate(const std::string& url) override { m_log->navigatedTo = url; }
    void Show(bool visible) override { m_log->shown = visible; }
    bool HasDocument() const override { return m_log->hasDocument && !m_log->closed; }
    uint32_t Advise(WebWindow::EventSource source, const std::string& elementId,
                    WebWindow::IEventSink* sink) override {
        if (m_log->closed) return 0;
        if (source != WebWindow::EventSource::Browser && !HasDocument()) return 0;
        if (source == WebWindow::EventSource::Element && !m_log->elementIds.contains(elementId)) return 0;
        const uint32_t cookie = m_log->nextCookie++;
        m_log->sinks[cookie] = {source, elementId, sink};
        return cookie;
    }
    bool Unadvise(WebWindow::EventSource, uint32_t cookie) override {
        m_log->unadvised.push_back(cookie);
        return m_log->sinks.erase(cookie) == 1;
    }
    void RunScripts(std::vector<std::string> texts, ScriptDone done) override {
        if (!HasDocument()) {
            const size_t n = texts.size();
            m_log->batches.push_back({std::move(texts), {}, false});
            done(std::vector<bool>(n, false));
            return;
        }
        m_log->batches.push_back({std::move(texts), std::move(done), true});
    }
    void Close() override {
        if (m_log->closed) return;
        m_log->closed = true;
        m_log->sinks.clear();
        // No callback may come after Close.
        for (auto& b : m_log->batches) b.done = {};
    }

  private:
    std::shared_ptr<EngineLog> m_log;
};

struct SurfaceLog {
    platform::HWND created = nullptr;
    int width = 0;
    int height = 0;
    bool skinOk = true;
    int skinLoads = 0;
    std::vector<ShapeRun> shape;
    std::vector<std::string> clipboard;
    bool shown = false;
    bool focused = false;
    bool destroyed = false;
    WebWindow::Rect workArea{0, 0, 1280, 1024};
    std::vector<std::pair<int, int>> moves;
};

class FakeSurface : public IPopupSurface {
  public:
    explicit FakeSurface(std::shared_ptr<SurfaceLog> log) : m_log(std::move(log)) {}
    void Create(platform::HWND hWnd, int width, int height) override {
        m_log->created = hWnd;
        m_log->width = width;
        m_log->height = height;
    }
    bool LoadSkin() override {
        ++m_log->skinLoads;
        return m_log->skinOk;
    }
    void SetShape(const std::vector<ShapeRun>& runs) override { m_log->shape = runs; }
    void SetClipboardText(const std::string& utf8) override { m_log->clipboard.push_back(utf8); }
    void Show() override { m_log->shown = true; }
    void Focus() override { m_log->focused = true; }
    void Redraw() override {}
    WebWindow::Rect WorkArea() const override { return m_log->workArea; }
    void Move(int x, int y) override { m_log->moves.emplace_back(x, y); }
    void Destroy() override { m_log->destroyed = true; }

  private:
    std::shared_ptr<SurfaceLog> m_log;
};

}  // namespace popup_test
