// The tests' own connection to a running office, used to check what the library wrote.
#pragma once

#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace corvane::test {

class OfficeClient {
  public:
    // Resolves "ooo_pipe" until it answers or `timeout` passes; null when it never did.
    static std::unique_ptr<OfficeClient> Connect(std::chrono::milliseconds timeout);
    ~OfficeClient();  // ends the client's bridge; the office goes on
    OfficeClient(const OfficeClient&) = delete;
    OfficeClient& operator=(const OfficeClient&) = delete;

    // The open documents of the office.
    std::vector<css::uno::Reference<css::lang::XComponent>> Documents() const;
    // The open spreadsheet whose URL is `url`, or empty.
    css::uno::Reference<css::sheet::XSpreadsheetDocument> Document(const std::string& url) const;
    // A sheet of the open spreadsheet loaded from `url`; fails the test when missing.
    css::uno::Reference<css::sheet::XSpreadsheet> Sheet(const std::string& url,
                                                        const std::string& name) const;
    // Closes every document unmodified and ends the office. Never throws.
    void Terminate() noexcept;

    const css::uno::Reference<css::frame::XDesktop2>& Desktop() const { return desktop_; }
    // The office's own component context.
    const css::uno::Reference<css::uno::XComponentContext>& Office() const { return office_; }

  private:
    OfficeClient() = default;
    void DisposeBridges() const noexcept;
    css::uno::Reference<css::uno::XComponentContext> local_;
    css::uno::Reference<css::uno::XComponentContext> office_;
    css::uno::Reference<css::frame::XDesktop2> desktop_;
};

// UNO string <-> UTF-8.
rtl::OUString U(const std::string& text);
std::string S(const rtl::OUString& text);

}  // namespace corvane::test
