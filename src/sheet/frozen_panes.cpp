#include "sheet/frozen_panes.hpp"

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/embed/ElementModes.hpp>
#include <com/sun/star/embed/StorageFactory.hpp>
#include <com/sun/star/embed/XStorage.hpp>
#include <com/sun/star/embed/XTransactedObject.hpp>
#include <com/sun/star/io/SequenceInputStream.hpp>
#include <com/sun/star/io/XInputStream.hpp>
#include <com/sun/star/io/XOutputStream.hpp>
#include <com/sun/star/io/XStream.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/lang/XSingleServiceFactory.hpp>
#include <com/sun/star/ucb/SimpleFileAccess.hpp>

#include <stdexcept>

#include "platform/xml_text.hpp"

namespace corvane::sheet {
namespace {

using css::uno::Any;
using css::uno::Reference;
using css::uno::Sequence;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;
namespace Mode = css::embed::ElementModes;

// "A", ..., "Z", "AA", ... for zero-based `column`.
std::string ColumnLetters(int column) {
    std::string letters;
    for (int c = column + 1; c > 0; c = (c - 1) / 26)
        letters.insert(letters.begin(), static_cast<char>('A' + (c - 1) % 26));
    return letters;
}

std::string Item(const char* name, const char* type, const std::string& value) {
    return std::string("<config:config-item config:name=\"") + name + "\" config:type=\"" + type +
           "\">" + value + "</config:config-item>";
}

// The view settings the office itself stores for a sheet frozen at (columns, rows),
// with the cursor in the first cell below and right of the frozen part.
std::string FrozenTable(const std::string& sheet, int columns, int rows) {
    const std::string x = std::to_string(columns);
    const std::string y = std::to_string(rows);
    constexpr char kFixed[] = "2";        // split mode: frozen
    constexpr char kBottomRight[] = "3";  // the pane that has the cursor
    return "<config:config-item-map-entry config:name=\"" + platform::XmlEscaped(sheet) + "\">" +
           Item("CursorPositionX", "int", x) + Item("CursorPositionY", "int", y) +
           Item("HorizontalSplitMode", "short", kFixed) +
           Item("VerticalSplitMode", "short", kFixed) + Item("HorizontalSplitPosition", "int", x) +
           Item("VerticalSplitPosition", "int", y) +
           Item("ActiveSplitRange", "short", kBottomRight) + Item("PositionLeft", "int", "0") +
           Item("PositionRight", "int", x) + Item("PositionTop", "int", "0") +
           Item("PositionBottom", "int", y) + "</config:config-item-map-entry>";
}

Sequence<sal_Int8> Bytes(const std::string& text) {
    return Sequence<sal_Int8>(reinterpret_cast<const sal_Int8*>(text.data()),
                              static_cast<sal_Int32>(text.size()));
}

std::string ReadAll(const Reference<css::io::XInputStream>& in) {
    std::string text;
    Sequence<sal_Int8> chunk;
    while (in->readBytes(chunk, 65536) > 0)
        text.append(reinterpret_cast<const char*>(chunk.getConstArray()),
                    static_cast<std::size_t>(chunk.getLength()));
    in->closeInput();
    return text;
}

void Dispose(const Reference<css::uno::XInterface>& object) {
    const Reference<css::lang::XComponent> component(object, UNO_QUERY);
    try {
        if (component.is()) component->dispose();
    } catch (const css::lang::DisposedException&) {
        // Closing its input stream disposed it already.
    }
}

// Replaces the stream `name` of `storage` with `edit(old content)`.
template <typename Edit>
void EditStream(const Reference<css::embed::XStorage>& storage, const rtl::OUString& name,
                Edit edit) {
    const Reference<css::io::XStream> reading = storage->openStreamElement(name, Mode::READ);
    const std::string text = edit(ReadAll(reading->getInputStream()));
    Dispose(reading);
    const Reference<css::io::XStream> writing =
        storage->openStreamElement(name, Mode::WRITE | Mode::TRUNCATE);
    const Reference<css::io::XOutputStream> out = writing->getOutputStream();
    out->writeBytes(Bytes(text));
    out->closeOutput();
    Dispose(writing);
}

Reference<css::embed::XStorage> OpenStorage(const Reference<css::uno::XComponentContext>& office,
                                            const rtl::OUString& url, const char* storageFormat) {
    const Reference<css::lang::XSingleServiceFactory> factory =
        css::embed::StorageFactory::create(office);
    const css::beans::PropertyValue format("StorageFormat", 0,
                                           Any(rtl::OUString::createFromAscii(storageFormat)),
                                           css::beans::PropertyState_DIRECT_VALUE);
    const Any arguments[] = {Any(url), Any(Mode::READWRITE),
                             Any(Sequence<css::beans::PropertyValue>(&format, 1))};
    // The storage factory offers no other interface than this deprecated one.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    return Reference<css::embed::XStorage>(
        factory->createInstanceWithArguments(Sequence<Any>(arguments, 3)), UNO_QUERY_THROW);
#pragma GCC diagnostic pop
}

void Commit(const Reference<css::embed::XStorage>& storage) {
    Reference<css::embed::XTransactedObject>(storage, UNO_QUERY_THROW)->commit();
}

}  // namespace

std::string WithOdfFrozenPanes(const std::string& xml, const std::vector<std::string>& sheets,
                               int columns, int rows) {
    const std::size_t set = xml.find("config:name=\"ooo:view-settings\"");
    const std::size_t end =
        set == std::string::npos ? set : xml.find("</config:config-item-set>", set);
    if (end == std::string::npos)
        throw std::runtime_error("the stored workbook has no view settings");
    std::string tables;
    for (const std::string& sheet : sheets) tables += FrozenTable(sheet, columns, rows);
    const std::string views =
        "<config:config-item-map-indexed config:name=\"Views\"><config:config-item-map-entry>" +
        Item("ViewId", "string", "view1") +
        "<config:config-item-map-named config:name=\"Tables\">" + tables +
        "</config:config-item-map-named>" +
        Item("ActiveTable", "string", sheets.empty() ? "" : platform::XmlEscaped(sheets.front())) +
        "</config:config-item-map-entry></config:config-item-map-indexed>";
    std::string result = xml;
    result.insert(end, views);
    return result;
}

std::string WithXlsxFrozenPanes(const std::string& worksheet, int columns, int rows) {
    const std::size_t view = worksheet.find("<sheetView ");
    const std::size_t close = view == std::string::npos ? view : worksheet.find('>', view);
    if (close == std::string::npos)
        throw std::runtime_error("the stored worksheet has no sheet view");
    const std::string cell = ColumnLetters(columns) + std::to_string(rows + 1);
    const std::string panes = "<pane xSplit=\"" + std::to_string(columns) + "\" ySplit=\"" +
                              std::to_string(rows) + "\" topLeftCell=\"" + cell +
                              "\" activePane=\"bottomRight\" state=\"frozen\"/>"
                              "<selection pane=\"bottomRight\" activeCell=\"" +
                              cell + "\" sqref=\"" + cell + "\"/>";
    std::string result = worksheet;
    if (result[close - 1] == '/') {  // an empty <sheetView .../>
        result.replace(close - 1, 2, ">" + panes + "</sheetView>");
        return result;
    }
    // The panes replace whatever the view held (its selection in the unfrozen view).
    const std::size_t end = result.find("</sheetView>", close);
    if (end == std::string::npos) throw std::runtime_error("the stored sheet view is not closed");
    result.replace(close + 1, end - close - 1, panes);
    return result;
}

void FreezeStoredPanes(const Reference<css::uno::XComponentContext>& office,
                       const rtl::OUString& url, WorkbookFormat format,
                       const std::vector<std::string>& sheets, const std::vector<bool>& frozen,
                       int columns, int rows) {
    const auto isFrozen = [&](std::size_t i) { return frozen.empty() || frozen.at(i); };
    std::vector<std::string> named;
    for (std::size_t i = 0; i < sheets.size(); ++i)
        if (isFrozen(i)) named.push_back(sheets[i]);
    const auto odf = [&](const std::string& xml) {
        return WithOdfFrozenPanes(xml, named, columns, rows);
    };
    switch (format) {
        case WorkbookFormat::Fods: {
            const Reference<css::ucb::XSimpleFileAccess3> files =
                css::ucb::SimpleFileAccess::create(office);
            const std::string text = odf(ReadAll(files->openFileRead(url)));
            const Reference<css::io::XInputStream> content(
                css::io::SequenceInputStream::createStreamFromSequence(office, Bytes(text)),
                UNO_QUERY_THROW);
            files->writeFile(url, content);
            return;
        }
        case WorkbookFormat::Ods: {
            const Reference<css::embed::XStorage> storage =
                OpenStorage(office, url, "PackageFormat");
            EditStream(storage, "settings.xml", odf);
            Commit(storage);
            Dispose(storage);
            return;
        }
        case WorkbookFormat::Xlsx: {
            const Reference<css::embed::XStorage> root = OpenStorage(office, url, "ZipFormat");
            const Reference<css::embed::XStorage> xl =
                root->openStorageElement("xl", Mode::READWRITE);
            const Reference<css::embed::XStorage> parts =
                xl->openStorageElement("worksheets", Mode::READWRITE);
            // The office names the part of its n-th sheet sheet<n>.xml.
            for (std::size_t i = 1; i <= sheets.size(); ++i) {
                const rtl::OUString part = "sheet" + rtl::OUString::number(i) + ".xml";
                if (!isFrozen(i - 1) || !parts->hasByName(part)) continue;
                EditStream(parts, part, [&](const std::string& xml) {
                    return WithXlsxFrozenPanes(xml, columns, rows);
                });
            }
            Commit(parts);
            Commit(xl);
            Commit(root);
            Dispose(parts);
            Dispose(xl);
            Dispose(root);
            return;
        }
    }
}

}  // namespace corvane::sheet
