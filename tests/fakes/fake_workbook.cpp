#include "fakes/fake_workbook.hpp"

#include <com/sun/star/beans/UnknownPropertyException.hpp>
#include <com/sun/star/container/NoSuchElementException.hpp>
#include <com/sun/star/lang/IndexOutOfBoundsException.hpp>
#include <com/sun/star/uno/RuntimeException.hpp>

#include "support/office_client.hpp"

namespace corvane::test::sheet_fakes {

using css::uno::Any;
using css::uno::Reference;
using css::uno::Type;

void Workbook::Call(const char* name, const std::string& arguments) {
    const long number = callCount++;
    if (recording) calls.push_back(arguments.empty() ? name : std::string(name) + " " + arguments);
    if (number == throwAt) throw css::uno::RuntimeException("fake office error");
}

std::string ShortName(const Type& type) {
    const std::string name = S(type.getTypeName());
    return name.substr(name.rfind('.') + 1);
}

namespace {

std::string Text(const Any& value) {
    sal_Int32 number = 0;
    if (value >>= number) return std::to_string(number);
    return S(value.getValueTypeName());
}

}  // namespace

// Cells.

FakeCell::FakeCell(std::shared_ptr<Workbook> book, sal_Int32 column, sal_Int32 row)
    : book_(std::move(book)), column_(column), row_(row) {
    ++book_->liveCells;
}
FakeCell::~FakeCell() { --book_->liveCells; }

Any FakeCell::queryInterface(const Type& type) {
    book_->Call("queryInterface", ShortName(type));
    if (type == cppu::UnoType<css::beans::XPropertySet>::get() && !book_->cellsOfferProperties)
        return Any();
    return WeakImplHelper2::queryInterface(type);
}

TitleCell& FakeCell::State() { return book_->cells[{column_, row_}]; }

rtl::OUString FakeCell::getFormula() { return U(State().formula); }
void FakeCell::setFormula(const rtl::OUString& formula) {
    book_->Call("setFormula", S(formula));
    State().formula = S(formula);
}
double FakeCell::getValue() { return 0; }
void FakeCell::setValue(double) {}
css::table::CellContentType FakeCell::getType() { return css::table::CellContentType_TEXT; }
sal_Int32 FakeCell::getError() { return 0; }
Reference<css::beans::XPropertySetInfo> FakeCell::getPropertySetInfo() { return {}; }

void FakeCell::setPropertyValue(const rtl::OUString& name, const Any& value) {
    book_->Call("setPropertyValue", S(name) + " " + Text(value));
    sal_Int32 color = 0;
    if (!(value >>= color)) throw css::uno::RuntimeException("colour is no long");
    (name == "CellBackColor" ? State().backColor : State().charColor) = color;
}
Any FakeCell::getPropertyValue(const rtl::OUString& name) {
    return Any(name == "CellBackColor" ? State().backColor : State().charColor);
}

// Ranges.

FakeRange::FakeRange(std::shared_ptr<Workbook> book, std::string name)
    : book_(std::move(book)), name_(std::move(name)) {
    ++book_->liveRanges;
}
FakeRange::~FakeRange() { --book_->liveRanges; }

Any FakeRange::queryInterface(const Type& type) {
    book_->Call("queryInterface", ShortName(type));
    if (type == cppu::UnoType<css::sheet::XCellRangeData>::get() && !book_->rangesOfferData)
        return Any();
    return WeakImplHelper2::queryInterface(type);
}

Reference<css::table::XCell> FakeRange::getCellByPosition(sal_Int32, sal_Int32) { return {}; }
Reference<css::table::XCellRange> FakeRange::getCellRangeByPosition(sal_Int32 left, sal_Int32 top,
                                                                    sal_Int32 right,
                                                                    sal_Int32 bottom) {
    const std::string corners = std::to_string(left) + "," + std::to_string(top) + "," +
                                std::to_string(right) + "," + std::to_string(bottom);
    book_->Call("getCellRangeByPosition", corners);
    return new FakeRange(book_, name_ + "@" + corners);
}
Reference<css::table::XCellRange> FakeRange::getCellRangeByName(const rtl::OUString&) { return {}; }

Values FakeRange::getDataArray() {
    book_->Call("getDataArray");
    Values values(book_->arrayRows);
    for (auto& row : values) {
        row.realloc(book_->arrayColumns);
        for (auto& cell : row) cell <<= 7.0;
    }
    return values;
}

void FakeRange::setDataArray(const Values& values) {
    book_->Call("setDataArray");
    book_->written = values;
    book_->writtenRange = name_;
    ++book_->writes;
    if (book_->recording) {
        const sal_Int32 columns = values.getLength() > 0 ? values[0].getLength() : 0;
        book_->blocks.push_back(name_ + " " + std::to_string(values.getLength()) + "x" +
                                std::to_string(columns));
    }
}

// The document.

Any FakeDocument::queryInterface(const Type& type) {
    book_->Call("queryInterface", ShortName(type));
    if (type == cppu::UnoType<css::beans::XPropertySet>::get() && !offersSettings) return Any();
    return WeakImplHelper2::queryInterface(type);
}

void FakeDocument::setPropertyValue(const rtl::OUString& name, const Any& value) {
    bool on = false;
    value >>= on;
    book_->Call("setPropertyValue", S(name) + (on ? " true" : " false"));
    if (name == "IsUndoEnabled") {
        undoEnabled = on;
    } else if (name == "IsAdjustHeightEnabled") {
        if (!on)
            ++heightLocks;
        else if (heightLocks > 0)
            --heightLocks;
    } else {
        throw css::beans::UnknownPropertyException(name);
    }
}

Any FakeDocument::getPropertyValue(const rtl::OUString& name) {
    book_->Call("getPropertyValue", S(name));
    if (name == "IsUndoEnabled") return Any(undoEnabled);
    if (name == "IsAdjustHeightEnabled") return Any(heightLocks == 0);
    throw css::beans::UnknownPropertyException(name);
}

// Sheets.

Any FakeSheet::queryInterface(const Type& type) {
    book_->Call("queryInterface", ShortName(type));
    return WeakImplHelper1::queryInterface(type);
}

Reference<css::sheet::XSheetCellCursor> FakeSheet::createCursor() { return {}; }
Reference<css::sheet::XSheetCellCursor> FakeSheet::createCursorByRange(
    const Reference<css::sheet::XSheetCellRange>&) {
    return {};
}
Reference<css::sheet::XSpreadsheet> FakeSheet::getSpreadsheet() { return this; }

Reference<css::table::XCell> FakeSheet::getCellByPosition(sal_Int32 column, sal_Int32 row) {
    book_->Call("getCellByPosition", std::to_string(column) + "," + std::to_string(row));
    if (column < 0 || row < 0 || row > 1048575) {
        throw css::lang::IndexOutOfBoundsException("no such cell");
    }
    return new FakeCell(book_, column, row);
}

Reference<css::table::XCellRange> FakeSheet::getCellRangeByPosition(sal_Int32, sal_Int32, sal_Int32,
                                                                    sal_Int32) {
    return {};
}

Reference<css::table::XCellRange> FakeSheet::getCellRangeByName(const rtl::OUString& name) {
    book_->Call("getCellRangeByName", S(name));
    return new FakeRange(book_, S(name));
}

// The sheet collection.

Any FakeSheetCollection::queryInterface(const Type& type) {
    book_->Call("queryInterface", ShortName(type));
    return WeakImplHelper1::queryInterface(type);
}

Any FakeSheetCollection::getByName(const rtl::OUString& name) {
    book_->Call("getByName", S(name));
    const auto found = sheets.find(S(name));
    if (found == sheets.end()) throw css::container::NoSuchElementException(name);
    return Any(Reference<css::sheet::XSpreadsheet>(found->second.get()));
}

css::uno::Sequence<rtl::OUString> FakeSheetCollection::getElementNames() { return {}; }
sal_Bool FakeSheetCollection::hasByName(const rtl::OUString& name) {
    return sheets.count(S(name)) > 0;
}
Type FakeSheetCollection::getElementType() {
    return cppu::UnoType<css::sheet::XSpreadsheet>::get();
}
sal_Bool FakeSheetCollection::hasElements() { return !sheets.empty(); }

}  // namespace corvane::test::sheet_fakes
