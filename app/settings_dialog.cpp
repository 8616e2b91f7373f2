#include "app/settings_dialog.h"

#include <array>

#include "engine/common/file_access.h"
#include "state/saved_list.h"

namespace plyfold::app {
namespace {

// The values of each list, in the order of its items; Automatic first.
constexpr std::array<char, 5> kDelimiters = {0, ',', ';', '\t', '|'};
constexpr std::array<engine::DecimalSeparator, 3> kDecimals = {engine::DecimalSeparator::Automatic,
                                                               engine::DecimalSeparator::Point,
                                                               engine::DecimalSeparator::Comma};
constexpr std::array<engine::DateOrder, 4> kDateOrders = {
    engine::DateOrder::Automatic, engine::DateOrder::DayMonthYear, engine::DateOrder::MonthDayYear,
    engine::DateOrder::YearMonthDay};

template <typename T, size_t N>
T valueAt(const controls::ComboBox& combo, const std::array<T, N>& values) {
    const int index = combo.listIndex();
    return index >= 0 && static_cast<size_t>(index) < N ? values[static_cast<size_t>(index)]
                                                        : values[0];
}

// A value the list does not offer shows as Automatic.
template <typename T, size_t N>
void selectValue(controls::ComboBox& combo, const std::array<T, N>& values, T value) {
    int index = 0;
    for (size_t i = 0; i < N; ++i) {
        if (values[i] == value) {
            index = static_cast<int>(i);
        }
    }
    combo.setListIndex(index);
}

}  // namespace

Dialog2::Dialog2(std::string folder, controls::MessageBoxService* messages)
    : m_folder(std::move(folder)), m_messages(messages) {
    Check1.setCaption("Automatically save the current list .");
    DelimiterLabel.setCaption("Field separator:");
    for (const char* item : {"Automatic", "Comma", "Semicolon", "Tab", "Pipe"}) {
        DelimiterCombo.addItem(item);
    }
    DecimalLabel.setCaption("Decimal separator:");
    for (const char* item : {"Automatic", "Point", "Comma"}) {
        DecimalCombo.addItem(item);
    }
    DateOrderLabel.setCaption("Date order:");
    for (const char* item : {"Automatic", "Day-month-year", "Month-day-year", "Year-month-day"}) {
        DateOrderCombo.addItem(item);
    }
    setTextDialect({});
    OKButton.setCaption("OK");
    CancelButton.setCaption("Cancel");
}

void Dialog2::Form_Load() {
    Check1.setValue(state::readAutoSaveFlag(m_folder));
    setTextDialect(state::readTextDialect(m_folder));
}

void Dialog2::OKButton_Click() {
    try {
        state::writeSettings(m_folder, Check1.value(), textDialect());
    } catch (const state::StateFileRefused& refused) {
        if (m_messages) {
            m_messages->showMessage("The setting was not saved: " + refused.description(),
                                    controls::MessageIcon::Critical);
        }
    } catch (const files::FileError&) {
        // The dialog closes as always; the settings file keeps its old value.
    }
    m_closeRequested = true;
}

void Dialog2::CancelButton_Click() {
    m_closeRequested = true;
}

engine::TextDialect Dialog2::textDialect() const {
    engine::TextDialect dialect;
    dialect.delimiter = valueAt(DelimiterCombo, kDelimiters);
    dialect.decimal = valueAt(DecimalCombo, kDecimals);
    dialect.dateOrder = valueAt(DateOrderCombo, kDateOrders);
    return dialect;
}

void Dialog2::setTextDialect(const engine::TextDialect& dialect) {
    selectValue(DelimiterCombo, kDelimiters, dialect.delimiter);
    selectValue(DecimalCombo, kDecimals, dialect.decimal);
    selectValue(DateOrderCombo, kDateOrders, dialect.dateOrder);
}

}  // namespace plyfold::app
