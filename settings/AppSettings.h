#pragma once

#include "proxy/RelaxedInt32.h"
#include "proxy/TestItems.h"

#include <set>
#include <string>

// The user's options, named after their keys in the settings file, with the defaults of a first start.
// Test threads read them while the window may write them, so the integers are relaxed 32-bit fields.
struct AppSettings {
    static constexpr const char* DefaultProxyJudge = "http://www.proxy-listen.de/AZenv/azenv.php";
    // The delay test's page: a search engine's home page that answers plain HTTP and always holds its
    // own name in lower case (in its links and script).
    static constexpr const char* DefaultTestPage = "http://www.google.com/";
    static constexpr const char* DefaultTestPageMarker = "google";

    RelaxedInt32 MaxThread = 80;
    RelaxedInt32 Timeout = 30;
    RelaxedInt32 SimulateBrowser = 0;
    RelaxedInt32 StrictTest = 0;
    RelaxedInt32 TestDelay = 1;
    RelaxedInt32 TestAnon = 1;
    RelaxedInt32 TestCountry = 0;
    RelaxedInt32 TestSSL = 0;
    RelaxedInt32 TestGateway = 0;
    RelaxedInt32 TestDanger = 0;
    RelaxedInt32 TestCodeen = 0;
    RelaxedInt32 SaveLevel1 = 1;
    RelaxedInt32 SaveLevel2 = 1;
    RelaxedInt32 SaveLevel3 = 1;
    RelaxedInt32 SaveSSL = 1;
    RelaxedInt32 SaveUnchecked = 0;
    RelaxedInt32 SaveTimeout = 0;
    RelaxedInt32 SaveCountry = 1;
    RelaxedInt32 SaveNoTitle = 0;
    RelaxedInt32 SaveDelay = 1;
    RelaxedInt32 CheckSystem = 0;
    RelaxedInt32 ChangeIEProxy = 1;
    RelaxedInt32 ChangeFFProxy = 1;
    // 1: a test run starts the next proxy at its once-a-second poll, not as soon as a worker ends.
    RelaxedInt32 DispatchOnTick = 0;
    // The watch re-tests the active proxy every WatchMinutes while WatchActive is 1.
    RelaxedInt32 WatchActive = 0;
    RelaxedInt32 WatchMinutes = 5;
    // When the watch finds no working proxy: 0 keeps the dead one (nothing goes out directly), 1 goes direct.
    RelaxedInt32 WhenNoProxyWorks = 0;
    // One judge address, or several separated by blanks: a run uses the first that answers.
    std::string ProxyJudge = DefaultProxyJudge;
    std::string TestPage = DefaultTestPage;
    std::string TestPageMarker = DefaultTestPageMarker;
    // LoadSettings makes the default "proxy.txt" in the user's documents folder.
    std::string SaveFilePath = "proxy.txt";
    // The integer keys whose value in the file held no digits: they read as 0, and a run takes their
    // default instead. Filled by LoadSettings.
    std::set<std::string, std::less<>> NotNumbers;

    TestItems Items() const {
        return {TestDelay != 0, TestAnon != 0, TestGateway != 0, TestSSL != 0, TestDanger != 0, TestCodeen != 0};
    }
};
