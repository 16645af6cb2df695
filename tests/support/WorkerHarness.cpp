#include "tests/support/WorkerHarness.h"

#include <thread>

WorkerHarness::WorkerHarness() {
    settings.Timeout = 1;
    settings.TestDelay = 1;
    settings.TestAnon = 0;
    context.TestPageHost = "www.search.test";
    context.TestPageMarker = "Searchy";
}

int32_t WorkerHarness::AddRecord(const std::string& address) {
    auto item = std::make_unique<ProxyItem>();
    item->SetAddress(address);
    item->m_index = static_cast<uint32_t>(list.GetSize());
    return static_cast<int32_t>(list.Append(std::move(item))->m_index);
}

std::unique_ptr<CInternetThread> WorkerHarness::Worker(int32_t index) {
    auto worker = std::make_unique<CInternetThread>(context);
    worker->m_itemIndex = index;
    worker->m_proxyAddress = Record(index).ProxyAddressText();
    worker->m_kind = Record(index).Kind();
    worker->m_credentials = Record(index).m_credentials;
    return worker;
}

std::unique_ptr<CInternetThread> WorkerHarness::RunWorker(int32_t index, std::chrono::seconds limit) {
    auto worker = Worker(index);
    worker->Start();
    WaitUntilEnded(*worker, limit);
    return worker;
}

bool WaitUntilEnded(const CThread& thread, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (thread.IsAliveLocked()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}
