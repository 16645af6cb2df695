#pragma once

#include <string>

// Where the list service is: ORV_LIST_SERVICE_URL, else the key ListServiceUrl in the settings file's
// [Settings], else a host under a reserved name, so that an unconfigured download fails plainly.
class ListService {
public:
    static constexpr const char* DefaultUrl = "http://list.halvard.example";
    static constexpr const char* EnvironmentName = "ORV_LIST_SERVICE_URL";
    static constexpr const char* Key = "ListServiceUrl";

    // dataFolder ends with '/'. A trailing '/' is dropped: the request path follows.
    static std::string ListServiceUrl(const std::string& dataFolder);
};
