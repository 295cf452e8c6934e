// Fake sheets for in-process tests of the row operations: a sheet collection, sheets,
// row ranges and cells that record every call in one shared log, can be told to throw
// from the n-th call, count the fakes alive, and keep what was written.
#pragma once

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <cppuhelper/implbase1.hxx>
#include <cppuhelper/implbase2.hxx>
#include <rtl/ref.hxx>

#include "fakes/fake_properties.hpp"

#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace corvane::test::sheet_fakes {

using Values = css::uno::Sequence<css::uno::Sequence<css::uno::Any>>;

struct TitleCell {
    std::string formula;
    sal_Int32 backColor = -1;
    sal_Int32 charColor = -1;
};

// What all fakes of one workbook share.
struct Workbook {
    // Every call that reached a fake, as "<call> <arguments>", while `recording` is on.
    std::vector<std::string> calls;
    bool recording = true;
    // Calls received so far; the call with this number (from 0) throws instead.
    long callCount = 0;
    long throwAt = -1;

    // The shape of the value array a range hands out; each element holds 7.0.
    sal_Int32 arrayRows = 1;
    sal_Int32 arrayColumns = 42;
    bool rangesOfferData = true;
    bool cellsOfferProperties = true;

    // What was written: the last value array and its range, and the title cells.
    Values written;
    std::string writtenRange;
    long writes = 0;
    // Every value-array write as "<range> <rows>x<columns>", while `recording` is on.
    std::vector<std::string> blocks;
    std::map<std::pair<sal_Int32, sal_Int32>, TitleCell> cells;

    // Fake ranges and cells alive now.
    long liveRanges = 0;
    long liveCells = 0;

    // Counts and (when recording) logs a call; throws when it is the one to fail.
    void Call(const char* name, const std::string& arguments = std::string());
};

// The name of the interface `type` asks for, without its module.
std::string ShortName(const css::uno::Type& type);

class FakeCell : public cppu::WeakImplHelper2<css::table::XCell, css::beans::XPropertySet> {
  public:
    FakeCell(std::shared_ptr<Workbook> book, sal_Int32 column, sal_Int32 row);
    ~FakeCell() override;
    css::uno::Any SAL_CALL queryInterface(const css::uno::Type& type) override;
    rtl::OUString SAL_CALL getFormula() override;
    void SAL_CALL setFormula(const rtl::OUString& formula) override;
    double SAL_CALL getValue() override;
    void SAL_CALL setValue(double value) override;
    css::table::CellContentType SAL_CALL getType() override;
    sal_Int32 SAL_CALL getError() override;
    css::uno::Reference<css::beans::XPropertySetInfo> SAL_CALL getPropertySetInfo() override;
    void SAL_CALL setPropertyValue(const rtl::OUString& name, const css::uno::Any& value) override;
    css::uno::Any SAL_CALL getPropertyValue(const rtl::OUString& name) override;
    CORVANE_FAKE_IGNORES_PROPERTY_LISTENERS

  private:
    TitleCell& State();
    std::shared_ptr<Workbook> book_;
    sal_Int32 column_;
    sal_Int32 row_;
};

class FakeRange : public cppu::WeakImplHelper2<css::table::XCellRange, css::sheet::XCellRangeData> {
  public:
    FakeRange(std::shared_ptr<Workbook> book, std::string name);
    ~FakeRange() override;
    css::uno::Any SAL_CALL queryInterface(const css::uno::Type& type) override;
    css::uno::Reference<css::table::XCell> SAL_CALL getCellByPosition(sal_Int32 column,
                                                                      sal_Int32 row) override;
    css::uno::Reference<css::table::XCellRange> SAL_CALL getCellRangeByPosition(sal_Int32,
                                                                                sal_Int32,
                                                                                sal_Int32,
                                                                                sal_Int32) override;
    css::uno::Reference<css::table::XCellRange> SAL_CALL
    getCellRangeByName(const rtl::OUString&) override;
    Values SAL_CALL getDataArray() override;
    void SAL_CALL setDataArray(const Values& values) override;

  private:
    std::shared_ptr<Workbook> book_;
    std::string name_;
};

// The loaded workbook's settings, as a document offers them. The row-height setting
// counts like the office's: each "false" needs its own "true" to undo it.
class FakeDocument : public cppu::WeakImplHelper2<css::lang::XComponent, css::beans::XPropertySet> {
  public:
    explicit FakeDocument(std::shared_ptr<Workbook> book) : book_(std::move(book)) {}
    oslInterlockedCount RefCount() const { return m_refCount; }
    bool undoEnabled = true;
    int heightLocks = 0;  // row heights adjust while this is 0
    bool offersSettings = true;

    css::uno::Any SAL_CALL queryInterface(const css::uno::Type& type) override;
    void SAL_CALL dispose() override {}
    void SAL_CALL addEventListener(const css::uno::Reference<css::lang::XEventListener>&) override {
    }
    void SAL_CALL
    removeEventListener(const css::uno::Reference<css::lang::XEventListener>&) override {}
    css::uno::Reference<css::beans::XPropertySetInfo> SAL_CALL getPropertySetInfo() override {
        return {};
    }
    void SAL_CALL setPropertyValue(const rtl::OUString& name, const css::uno::Any& value) override;
    css::uno::Any SAL_CALL getPropertyValue(const rtl::OUString& name) override;
    CORVANE_FAKE_IGNORES_PROPERTY_LISTENERS

  private:
    std::shared_ptr<Workbook> book_;
};

class FakeSheet : public cppu::WeakImplHelper1<css::sheet::XSpreadsheet> {
  public:
    explicit FakeSheet(std::shared_ptr<Workbook> book) : book_(std::move(book)) {}
    oslInterlockedCount RefCount() const { return m_refCount; }
    css::uno::Any SAL_CALL queryInterface(const css::uno::Type& type) override;
    css::uno::Reference<css::sheet::XSheetCellCursor> SAL_CALL createCursor() override;
    css::uno::Reference<css::sheet::XSheetCellCursor> SAL_CALL
    createCursorByRange(const css::uno::Reference<css::sheet::XSheetCellRange>&) override;
    css::uno::Reference<css::sheet::XSpreadsheet> SAL_CALL getSpreadsheet() override;
    css::uno::Reference<css::table::XCell> SAL_CALL getCellByPosition(sal_Int32 column,
                                                                      sal_Int32 row) override;
    css::uno::Reference<css::table::XCellRange> SAL_CALL getCellRangeByPosition(sal_Int32,
                                                                                sal_Int32,
                                                                                sal_Int32,
                                                                                sal_Int32) override;
    css::uno::Reference<css::table::XCellRange> SAL_CALL
    getCellRangeByName(const rtl::OUString& name) override;

  private:
    std::shared_ptr<Workbook> book_;
};

// The workbook's sheets: knows the sheets added to `sheets` by name.
class FakeSheetCollection : public cppu::WeakImplHelper1<css::sheet::XSpreadsheets> {
  public:
    explicit FakeSheetCollection(std::shared_ptr<Workbook> book) : book_(std::move(book)) {}
    oslInterlockedCount RefCount() const { return m_refCount; }
    std::map<std::string, rtl::Reference<FakeSheet>> sheets;

    css::uno::Any SAL_CALL queryInterface(const css::uno::Type& type) override;
    css::uno::Any SAL_CALL getByName(const rtl::OUString& name) override;
    css::uno::Sequence<rtl::OUString> SAL_CALL getElementNames() override;
    sal_Bool SAL_CALL hasByName(const rtl::OUString& name) override;
    css::uno::Type SAL_CALL getElementType() override;
    sal_Bool SAL_CALL hasElements() override;
    void SAL_CALL insertNewByName(const rtl::OUString&, sal_Int16) override {}
    void SAL_CALL moveByName(const rtl::OUString&, sal_Int16) override {}
    void SAL_CALL copyByName(const rtl::OUString&, const rtl::OUString&, sal_Int16) override {}
    void SAL_CALL insertByName(const rtl::OUString&, const css::uno::Any&) override {}
    void SAL_CALL removeByName(const rtl::OUString&) override {}
    void SAL_CALL replaceByName(const rtl::OUString&, const css::uno::Any&) override {}

  private:
    std::shared_ptr<Workbook> book_;
};

}  // namespace corvane::test::sheet_fakes
