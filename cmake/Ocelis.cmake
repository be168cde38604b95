# Build helpers shared by every subsystem folder.

set(OCELIS_WARNINGS -Wall -Wextra -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual
    # GCC 12 falsely reports copies of std::optional<QString> as maybe-uninitialized, and
    # assignments of string literals to strings as overlapping copies (-Wrestrict), when
    # optimising: either would fail an optimised -Werror build.
    $<$<AND:$<CXX_COMPILER_ID:GNU>,$<NOT:$<CONFIG:Debug>>>:-Wno-maybe-uninitialized>
    $<$<AND:$<CXX_COMPILER_ID:GNU>,$<NOT:$<CONFIG:Debug>>>:-Wno-restrict>)
# GCC 12 also reports string concatenation and vector growth inlined into test bodies as
# out-of-bounds writes when optimising; the program's sources keep both checks.
set(OCELIS_TEST_WARNINGS
    $<$<AND:$<CXX_COMPILER_ID:GNU>,$<NOT:$<CONFIG:Debug>>>:-Wno-array-bounds>
    $<$<AND:$<CXX_COMPILER_ID:GNU>,$<NOT:$<CONFIG:Debug>>>:-Wno-stringop-overflow>)
# Off by default: a packager's compiler may warn where ours does not, and must not be stopped.
if(OCELIS_WERROR)
    list(APPEND OCELIS_WARNINGS -Werror)
endif()
# Qt's moc output uses C casts, so -Wold-style-cast applies to our own sources only.
set(OCELIS_CXX_ONLY_WARNINGS -Wold-style-cast)

function(ocelis_warnings target)
    target_compile_options(${target} PRIVATE ${OCELIS_WARNINGS})
    get_target_property(_dir ${target} SOURCE_DIR)
    set(_tests ${PROJECT_SOURCE_DIR}/tests)
    cmake_path(IS_PREFIX _tests "${_dir}" NORMALIZE _in_tests)
    if(_in_tests)
        target_compile_options(${target} PRIVATE ${OCELIS_TEST_WARNINGS})
    endif()
    get_target_property(_srcs ${target} SOURCES)
    foreach(_s IN LISTS _srcs)
        if(_s MATCHES "\\.cpp$" AND NOT _s MATCHES "mocs_compilation|moc_")
            set_property(SOURCE ${_s} TARGET_DIRECTORY ${target} APPEND PROPERTY COMPILE_OPTIONS
                         ${OCELIS_CXX_ONLY_WARNINGS})
        endif()
    endforeach()
endfunction()

# ocelis_library(<name> CORE|GUI SOURCES ... [DEPS ...])
# Makes the static library ocelis_<name>. CORE libraries are plain C++ (no Qt Widgets) and
# join the umbrella ocelis_core; GUI libraries join ocelis_gui.
function(ocelis_library name kind)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
    set(target ocelis_${name})
    add_library(${target} STATIC ${ARG_SOURCES})
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${target} PUBLIC ${ARG_DEPS} Threads::Threads)
    if(kind STREQUAL "GUI")
        target_link_libraries(${target} PUBLIC Qt6::Widgets)
        set_property(GLOBAL APPEND PROPERTY OCELIS_GUI_LIBS ${target})
    else()
        set_property(TARGET ${target} PROPERTY AUTOMOC OFF)
        set_property(GLOBAL APPEND PROPERTY OCELIS_CORE_LIBS ${target})
    endif()
    ocelis_warnings(${target})
    if(kind STREQUAL "GUI")
        ocelis_use_pch(${target} ocelis_pch_gui)
    endif()
endfunction()

# Parsing the Qt and GoogleTest headers dominates the build: one precompiled header per kind
# of target, shared by all targets of that kind (the flags of a build are the same for all).
function(ocelis_pch_target name)
    cmake_parse_arguments(ARG "" "" "LIBS;HEADERS" ${ARGN})
    add_library(${name} STATIC ${PROJECT_SOURCE_DIR}/cmake/pch.cpp)
    target_link_libraries(${name} PUBLIC ${ARG_LIBS})
    set_property(TARGET ${name} PROPERTY AUTOMOC OFF)
    target_compile_options(${name} PRIVATE ${OCELIS_WARNINGS})
    target_precompile_headers(${name} PRIVATE ${ARG_HEADERS})
endfunction()

set(OCELIS_PCH_STD <algorithm> <atomic> <chrono> <filesystem> <functional> <map> <memory>
    <mutex> <optional> <string> <string_view> <thread> <vector>)
# The Qt headers the program uses (the whole QtWidgets module makes a far larger header).
set(OCELIS_PCH_QT
    <QAbstractButton> <QAction> <QActionGroup> <QApplication> <QCheckBox> <QComboBox>
    <QContextMenuEvent> <QCoreApplication> <QDesktopServices> <QDialog> <QFile>
    <QFileDialog> <QFileInfo> <QFont> <QFrame> <QGroupBox> <QGuiApplication> <QHBoxLayout>
    <QIcon> <QImage> <QInputDialog> <QKeySequence> <QLabel> <QLineEdit> <QListWidget>
    <QMenu> <QMessageBox> <QMetaProperty> <QMouseEvent> <QObject> <QPainter> <QPainterPath>
    <QPixmap> <QPlainTextEdit> <QPoint> <QPointer> <QProgressBar> <QPushButton> <QRect>
    <QScreen> <QSessionManager> <QSocketNotifier> <QSpinBox> <QStackedWidget> <QStatusBar>
    <QString> <QStringList> <QStyle> <QStyleOption> <QSystemTrayIcon> <QTabWidget>
    <QTextDocument> <QTextEdit> <QTimer> <QToolButton> <QTreeWidget>
    <QTreeWidgetItemIterator> <QUrl> <QVBoxLayout> <QWidget> <QWidgetAction> <QWindow>)

function(ocelis_make_pch)
    if(OCELIS_PCH)
        # GUI libraries and GUI tests share one header. GoogleTest stays out: its target's
        # definitions would make the header unusable for the libraries.
        ocelis_pch_target(ocelis_pch_gui LIBS Qt6::Widgets HEADERS ${OCELIS_PCH_QT} ${OCELIS_PCH_STD})
    endif()
endfunction()

function(ocelis_use_pch target pch)
    if(OCELIS_PCH AND TARGET ${pch})
        target_precompile_headers(${target} REUSE_FROM ${pch})
    endif()
endfunction()

function(ocelis_finish_umbrellas)
    get_property(core GLOBAL PROPERTY OCELIS_CORE_LIBS)
    get_property(gui GLOBAL PROPERTY OCELIS_GUI_LIBS)
    add_library(ocelis_core INTERFACE)
    target_link_libraries(ocelis_core INTERFACE ${core})
    add_library(ocelis_gui INTERFACE)
    target_link_libraries(ocelis_gui INTERFACE ${gui} ocelis_core)
endfunction()

# Layering, checked at every configure: our libraries form no cycle, only app/ links or
# includes app/, and a window-free library links no window library.
function(_ocelis_visit target stack)
    get_property(done GLOBAL PROPERTY _OCELIS_DONE_${target})
    if(done)
        return()
    endif()
    if(target IN_LIST stack)
        list(JOIN stack " -> " chain)
        message(FATAL_ERROR "Library cycle: ${chain} -> ${target}")
    endif()
    list(APPEND stack ${target})
    get_target_property(deps ${target} LINK_LIBRARIES)
    foreach(dep IN LISTS deps)
        if(dep MATCHES "^ocelis_" AND TARGET ${dep})
            get_target_property(dep_type ${dep} TYPE)
            if(NOT dep_type STREQUAL "INTERFACE_LIBRARY")
                _ocelis_visit(${dep} "${stack}")
            endif()
        endif()
    endforeach()
    set_property(GLOBAL PROPERTY _OCELIS_DONE_${target} TRUE)
endfunction()

function(ocelis_check_layers)
    get_property(core GLOBAL PROPERTY OCELIS_CORE_LIBS)
    get_property(gui GLOBAL PROPERTY OCELIS_GUI_LIBS)
    foreach(lib IN LISTS core gui)
        _ocelis_visit(${lib} "")
        get_target_property(dir ${lib} SOURCE_DIR)
        get_target_property(deps ${lib} LINK_LIBRARIES)
        foreach(dep IN LISTS deps)
            if(dep MATCHES "^ocelis_app_" AND NOT dir MATCHES "/src/app$")
                message(FATAL_ERROR "${lib} links ${dep}: only app/ may use app/")
            endif()
            if(lib IN_LIST core AND dep IN_LIST gui)
                message(FATAL_ERROR "${lib} is window-free but links the window library ${dep}")
            endif()
        endforeach()
    endforeach()
    file(GLOB_RECURSE sources ${PROJECT_SOURCE_DIR}/src/*.cpp ${PROJECT_SOURCE_DIR}/src/*.h)
    foreach(f IN LISTS sources)
        if(f MATCHES "/src/app/" OR f MATCHES "/src/main.cpp$")
            continue()
        endif()
        file(STRINGS ${f} hits REGEX "^#include \"app/")
        if(hits)
            message(FATAL_ERROR "${f} includes app/: only app/ may")
        endif()
    endforeach()
endfunction()
