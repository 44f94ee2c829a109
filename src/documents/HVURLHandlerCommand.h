#pragma once

#include <string>
#include <string_view>

// The "hvdt" URLs of other programs: hvdt://open?file=PATH&range=LOCATION,LENGTH.
class HVURLHandlerCommand {
public:
    // Acts only on the scheme "hvdt" with the host "open".
    static void performDefaultImplementation(std::string_view url);
    // Values are used as they stand, without percent-decoding.
    static void openBasedOnQuery(std::string_view query);
};
