#pragma once

// The client is built from its ports, and the control objects need the client's log and
// settings store: the composition root hands the client this relay, builds the control objects
// after the client, then binds them. Before that the calls do nothing.

#include "platform/app_closing_port.h"
#include "platform/batch_port.h"
#include "platform/cleanup_port.h"

namespace tlv {

class ControlRelay : public AppClosingPort, public CleanupPort, public BatchPort {
public:
    void bind(AppClosingPort* apps, CleanupPort* cleanup, BatchPort* batch) {
        m_apps = apps;
        m_cleanup = cleanup;
        m_batch = batch;
    }
    bool funCloseAllApps() override { return m_apps ? m_apps->funCloseAllApps() : false; }
    void subKillApps() override {
        if (m_apps)
            m_apps->subKillApps();
    }
    void subSessionCleanup() override {
        if (m_cleanup)
            m_cleanup->subSessionCleanup();
    }
    void subRunSessionStartBatch() override {
        if (m_batch)
            m_batch->subRunSessionStartBatch();
    }
    void subRunSessionEndBatch() override {
        if (m_batch)
            m_batch->subRunSessionEndBatch();
    }

private:
    AppClosingPort* m_apps = nullptr;
    CleanupPort* m_cleanup = nullptr;
    BatchPort* m_batch = nullptr;
};

} // namespace tlv
