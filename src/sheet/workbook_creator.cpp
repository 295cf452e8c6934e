#include "sheet/workbook_creator.hpp"

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/ucb/SimpleFileAccess.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XModifiable.hpp>

#include <exception>
#include <utility>

namespace corvane::sheet {
namespace {

using css::beans::PropertyValue;
using css::uno::Any;
using css::uno::Reference;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;

rtl::OUString FromUtf8(const std::string& text) {
    return rtl::OStringToOUString(rtl::OString(text.data(), static_cast<sal_Int32>(text.size())),
                                  RTL_TEXTENCODING_UTF8);
}

PropertyValue Named(const char* name, const Any& value) {
    return PropertyValue(rtl::OUString::createFromAscii(name), 0, value,
                         css::beans::PropertyState_DIRECT_VALUE);
}

// Closes the new document, unsaved, on every way out.
class ScratchDocument {
  public:
    explicit ScratchDocument(Reference<css::lang::XComponent> document)
        : document_(std::move(document)) {}
    ~ScratchDocument() {
        try {
            const Reference<css::util::XModifiable> modifiable(document_, UNO_QUERY);
            if (modifiable.is()) modifiable->setModified(false);
            const Reference<css::util::XCloseable> closeable(document_, UNO_QUERY);
            if (closeable.is()) closeable->close(true);
        } catch (...) {
            // An office that went away took the document with it.
        }
    }
    ScratchDocument(const ScratchDocument&) = delete;
    ScratchDocument& operator=(const ScratchDocument&) = delete;
    const Reference<css::lang::XComponent>& Get() const { return document_; }

  private:
    Reference<css::lang::XComponent> document_;
};

void NameSheets(const Reference<css::sheet::XSpreadsheetDocument>& document,
                const std::vector<std::string>& names) {
    const Reference<css::sheet::XSpreadsheets> sheets = document->getSheets();
    const Reference<css::container::XIndexAccess> indexed(sheets, UNO_QUERY_THROW);
    // A new document has one sheet: it takes the first name, and the others follow it.
    Reference<css::container::XNamed>(indexed->getByIndex(0), UNO_QUERY_THROW)
        ->setName(FromUtf8(names.front()));
    for (std::size_t i = 1; i < names.size(); ++i)
        sheets->insertNewByName(FromUtf8(names[i]), static_cast<sal_Int16>(i));
    while (indexed->getCount() > static_cast<sal_Int32>(names.size())) {
        const Reference<css::container::XNamed> extra(indexed->getByIndex(indexed->getCount() - 1),
                                                      UNO_QUERY_THROW);
        sheets->removeByName(extra->getName());
    }
}

}  // namespace

Error CheckSheetName(std::string_view name) {
    const auto refuse = [](std::string why) { return Error(ErrorCode::Argument, std::move(why)); };
    if (name.empty()) return refuse("a sheet name is empty");
    if (name.find_first_of("[]*?:/\\") != std::string_view::npos)
        return refuse("the sheet name \"" + std::string(name) +
                      "\" holds one of the characters []*?:/\\");
    if (name.front() == '\'' || name.back() == '\'')
        return refuse("the sheet name \"" + std::string(name) +
                      "\" begins or ends with an apostrophe");
    return {};
}

void CreateMarketWorkbook(const Reference<css::uno::XComponentContext>& office,
                          const WorkbookRequest& request) {
    const Reference<css::frame::XDesktop2> desktop = css::frame::Desktop::create(office);
    const PropertyValue hidden = Named("Hidden", Any(true));
    const ScratchDocument scratch(desktop->loadComponentFromURL(
        "private:factory/scalc", "_blank", 0, css::uno::Sequence<PropertyValue>(&hidden, 1)));
    const Reference<css::sheet::XSpreadsheetDocument> document(scratch.Get(), UNO_QUERY_THROW);
    NameSheets(document, request.sheets);
    FormatMarketSheets(document, request.options);

    // Never over an existing file, even one that appeared since the caller looked.
    const Reference<css::frame::XStorable> storable(document, UNO_QUERY_THROW);
    const PropertyValue store[] = {Named("FilterName", Any(request.filter)),
                                   Named("Overwrite", Any(false))};
    storable->storeToURL(request.url, css::uno::Sequence<PropertyValue>(store, 2));
    try {
        FreezeStoredPanes(office, request.url, request.format, request.sheets, {}, kFrozenColumns,
                          kFrozenRows);
    } catch (...) {
        const std::exception_ptr failure = std::current_exception();
        try {
            css::ucb::SimpleFileAccess::create(office)->kill(request.url);
        } catch (...) {
        }
        std::rethrow_exception(failure);
    }
}

}  // namespace corvane::sheet
