// The market-watch column titles, for tests of the feed that run without the library.
#pragma once

#include <string>
#include <vector>

namespace corvane::feed {

inline std::vector<std::string> TestTitles() {
    return {"Exchange",
            "Description",
            "Scrip Code",
            "Best\nBuy Qty",
            "Best\nBuy Price",
            "Best\nSell Qty",
            "Best\nSell Price",
            "Day\n4om Expiry",
            "Strike\nPrice",
            "Option\nType",
            "Last\nTraded Qty",
            "Last\nTraded Price",
            "Volume",
            "Value",
            "High",
            "Low",
            "Open",
            "Close",
            "Total\nBuy Qty",
            "Total\nSell Qty",
            "Average\nTrade Price",
            "Open\nInterest",
            "Fair\nValue",
            "Open Interest\nPrevious Close",
            "%Change",
            "52Week\nHigh",
            "52Week\nLow",
            "Lifetime\nHigh",
            "Lifetime\nLow",
            "Market\nCap",
            "Opening\nOpen Interest",
            "Base\nPrice FAO",
            "Buy\nYield",
            "Sell\nYield",
            "LTP\nYield",
            "Avg\nTrade Yield",
            "Open\nYield",
            "High\nYield",
            "Low\nYield",
            "Close\nYield",
            "52Week\nHigh Yield",
            "52Week\nLow Yield"};
}

}  // namespace corvane::feed
