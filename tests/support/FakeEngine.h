#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "webhost/IBrowserEngine.h"

namespace test_support {

// Everything a FakeEngine saw, kept by the test so that it outlives the engine itself.
struct EngineLog {
    struct Batch {
        std::vector<std::string> texts;
        WebWindow::IBrowserEngine::ScriptDone done;  // empty once answered
    };
    struct Advised {
        WebWindow::EventSource source;
        std::string elementId;
        WebWindow::IEventSink* sink;
    };

    // What the engine does; the test sets these.
    bool createOk = true;
    bool hasDocument = false;
    std::set<std::string> elementIds{"all_notify_setread", "all_notify_remove", "button_close"};

    // What it was asked.
    bool created = false;
    platform::HWND createdIn = nullptr;
    platform::Rect createdAt;
    std::vector<std::string> navigated;
    std::optional<bool> shown;
    int closes = 0;
    bool destroyed = false;
    std::vector<Batch> batches;
    std::map<uint32_t, Advised> sinks;  // connected now, by cookie
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
        for (Batch& batch : batches) {
            if (!batch.done) continue;
            auto done = std::exchange(batch.done, {});
            std::vector<bool> flags;
            for (const std::string& t : batch.texts) flags.push_back(ok ? ok(t) : true);
            done(std::move(flags));  // may send further batches, so `batch` may dangle from here
            return true;
        }
        return false;
    }
    void AnswerAll(const std::function<bool(const std::string&)>& ok = {}) {
        while (AnswerNext(ok)) {
        }
    }
    // The sink connected now to `source` (and element `id`), or null.
    WebWindow::IEventSink* SinkFor(WebWindow::EventSource source, const std::string& id = {}) const {
        for (const auto& [cookie, a] : sinks) {
            if (a.source == source && a.elementId == id) return a.sink;
        }
        return nullptr;
    }
};

// A stand-in for the HTML engine in unit tests of the host logic. Strict where a real engine is: no
// events before a successful Create or after Close, no document or element sinks without a page, and
// no script callback after Close. Scripts wait until the test answers them.
class FakeEngine : public WebWindow::IBrowserEngine {
  public:
    explicit FakeEngine(std::shared_ptr<EngineLog> log) : m_log(std::move(log)) {}
    ~FakeEngine() override { m_log->destroyed = true; }

    bool Create(platform::HWND parent, const platform::Rect& rc) override {
        m_log->createdIn = parent;
        m_log->createdAt = rc;
        m_log->created = m_log->createOk;
        return m_log->createOk;
    }
    void Navigate(const std::string& url) override { m_log->navigated.push_back(url); }
    void Show(bool visible) override { m_log->shown = visible; }
    bool HasDocument() const override { return Live() && m_log->hasDocument; }
    uint32_t Advise(WebWindow::EventSource source, const std::string& elementId,
                    WebWindow::IEventSink* sink) override {
        if (!Live()) return 0;
        if (source != WebWindow::EventSource::Browser && !HasDocument()) return 0;
        if (source == WebWindow::EventSource::Element && !m_log->elementIds.contains(elementId)) return 0;
        const uint32_t cookie = m_log->nextCookie++;
        m_log->sinks[cookie] = {source, elementId, sink};
        return cookie;
    }
    bool Unadvise(WebWindow::EventSource source, uint32_t cookie) override {
        m_log->unadvised.push_back(cookie);
        const auto it = m_log->sinks.find(cookie);
        if (it == m_log->sinks.end() || it->second.source != source) return false;
        m_log->sinks.erase(it);
        return true;
    }
    void RunScripts(std::vector<std::string> texts, ScriptDone done) override {
        if (!HasDocument()) {
            const size_t n = texts.size();
            m_log->batches.push_back({std::move(texts), {}});
            done(std::vector<bool>(n, false));
            return;
        }
        m_log->batches.push_back({std::move(texts), std::move(done)});
    }
    void Close() override {
        ++m_log->closes;
        m_log->sinks.clear();
        for (auto& b : m_log->batches) b.done = {};
    }

  private:
    bool Live() const { return m_log->created && m_log->closes == 0; }

    std::shared_ptr<EngineLog> m_log;
};

}  // namespace test_support
