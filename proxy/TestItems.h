#pragma once

// The test items a run measures, as far as a record's reset and status rules depend on them.
struct TestItems {
    bool delay = true;
    bool anonymity = true;
    bool gateway = false;
    bool https = false;
    bool danger = false;
    bool codeen = false;
};
