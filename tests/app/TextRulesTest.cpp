// The pure rules of the shell: file filter conversion.
#include "app/shell/FileFilter.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <climits>

namespace {

struct FilterCase {
    const char* paired;
    const char* qt;
};

void PrintTo(const FilterCase& c, std::ostream* os) {
    *os << '"' << c.paired << '"';
}

class AppFileFilter : public testing::TestWithParam<FilterCase> {};

TEST_P(AppFileFilter, PairsBecomeQtFilters) {
    EXPECT_EQ(dozo::toQtFilter(QString::fromUtf8(GetParam().paired)).toStdString(), GetParam().qt);
}

INSTANTIATE_TEST_SUITE_P(
    Filters, AppFileFilter,
    testing::Values(FilterCase{"全てのファイル (*.*)|*.*", "全てのファイル (*.*) (*)"},
                    FilterCase{"LHA書庫 (*.lzh)|*.lzh", "LHA書庫 (*.lzh) (*.lzh)"},
                    FilterCase{"実行可能ファイル (*.exe)|*.exe",
                               "実行可能ファイル (*.exe) (*.exe)"},
                    FilterCase{"Text|*.txt;*.log|All|*.*", "Text (*.txt *.log);;All (*)"},
                    FilterCase{"", ""}));

}  // namespace
