#pragma once

#include "app/FrameModel.h"

#include <string>
#include <utility>

// What tests and benchmarks set up in a frame that no command reaches: records as a loaded list
// would bring them, a run state without a run, an active record, the time of the last test.
struct FrameModelTestAccess {
    static ProxyList& List(FrameModel& model) { return model.m_list; }
    static void SetState(FrameModel& model, RunState state) { model.m_testing = state; }
    static void SetActiveProxy(FrameModel& model, ProxyItem* item) { model.m_activeProxy = item; }
    static void RebuildQuickSwitchSet(FrameModel& model) { model.RebuildQuickSwitchSet(); }
    static void SetLastTestedText(FrameModel& model, std::string text) { model.SetLastTestedText(std::move(text)); }
};
