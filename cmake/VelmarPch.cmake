# Precompiled headers. Nearly every file includes the same standard-library, Qt and test-framework
# headers, some 100 000 lines that take most of a file's compile time to parse. Each group of
# targets below parses them once: a small donor target that nobody links compiles the header
# (velmar_pch_donor), and the targets of the group use its result (velmar_use_pch, REUSE_FROM).
#
# Only headers from outside the project go in (and the tests' printers, below), so a changed
# project header still recompiles just the files that include it. The lists name what many of
# the sources include directly: a header they do not use is no help and costs loading time in
# every file. A source file must still include what it uses: the "fuzz" preset builds without
# precompiled headers.
#
# A precompiled header is used only where the compiler would read it the same way as in the
# donor: same kind of target (static library or object code -fPIC, program -fPIE), same
# preprocessor state for every macro the header looks at. Qt's test headers look at
# QT_WIDGETS_LIB, QT_GUI_LIB and QT_NETWORK_LIB, which differ from one test program to the next,
# so they stay out. A header that cannot be used is an error (-Werror=invalid-pch), not a silent
# slow build.

set(VELMAR_PCH_CORE
  <algorithm> <array> <atomic> <chrono> <cmath> <condition_variable> <cstddef> <cstdint>
  <cstdio> <cstring> <deque> <exception> <functional> <limits> <map> <memory> <mutex> <optional>
  <set> <stdexcept> <string> <thread> <type_traits> <utility> <variant> <vector>
  <QByteArray> <QDateTime> <QDir> <QFile> <QFileInfo> <QHash> <QJsonArray> <QJsonObject>
  <QJsonValue> <QList> <QObject> <QPointF> <QPointer> <QRect> <QRectF> <QSet> <QSettings> <QSize>
  <QSizeF> <QString> <QStringList> <QTimer> <QUrl> <QUuid> <QVariant> <QVariantMap>)
set(VELMAR_PCH_GUI ${VELMAR_PCH_CORE}
  <QColor> <QFont> <QFontMetricsF> <QImage> <QPainter> <QPainterPath> <QPixmap>)
set(VELMAR_PCH_WIDGETS ${VELMAR_PCH_GUI}
  <QApplication> <QDialog> <QFrame> <QHBoxLayout> <QLabel> <QLineEdit> <QMenu> <QMouseEvent>
  <QPushButton> <QVBoxLayout> <QWidget>)
# The test programs' own printers of Qt values go in with GoogleTest: GoogleTest settles how it
# prints a type where it first prints one, and in a unit of several test files (velmar_tests)
# that may be in a file that did not include them.
set(VELMAR_PCH_TEST <gtest/gtest.h> <QCoreApplication> <QProcess> <QTemporaryDir>
  <support/qt_printers.h>)

# The one source of the donors (a target needs one to compile its precompiled header).
set(velmar_pch_anchor ${PROJECT_SOURCE_DIR}/cmake/pch_anchor.cpp)

# velmar_pch_donor(<name> OBJECT|EXECUTABLE HEADERS <headers...> LIBS <targets...>)
function(velmar_pch_donor name kind)
  cmake_parse_arguments(ARG "" "" "HEADERS;LIBS" ${ARGN})
  if(kind STREQUAL "OBJECT")
    add_library(${name} OBJECT EXCLUDE_FROM_ALL ${velmar_pch_anchor})
  else()
    add_executable(${name} EXCLUDE_FROM_ALL ${velmar_pch_anchor})
  endif()
  set_target_properties(${name} PROPERTIES AUTOMOC OFF)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} velmar_warnings)
  target_precompile_headers(${name} PRIVATE ${ARG_HEADERS})
endfunction()

# velmar_use_pch(<target> <donor>)
function(velmar_use_pch target donor)
  target_precompile_headers(${target} REUSE_FROM ${donor})
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-Werror=invalid-pch>)
  endif()
endfunction()
