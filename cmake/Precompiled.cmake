# Precompiled headers: the Qt, GoogleTest and standard headers that nearly every file of a target
# includes, parsed once per target instead of once per file. Parsing them is most of a file's
# compile time here.
option(M84_PCH "Precompile the Qt, GoogleTest and standard headers" ON)

set(m84_pch_core
  <algorithm> <array> <chrono> <cstdint> <functional> <memory> <optional> <vector>
  <QByteArray> <QDir> <QFile> <QFileInfo> <QObject> <QString> <QStringList> <QVariant>)
set(m84_pch_gui ${m84_pch_core}
  <QApplication> <QCheckBox> <QComboBox> <QEvent> <QGridLayout> <QGroupBox> <QHBoxLayout>
  <QKeyEvent> <QLabel> <QLineEdit> <QPainter> <QPushButton> <QVBoxLayout> <QWidget>)
set(m84_pch_test <gtest/gtest.h> <QTemporaryDir> <QTest> <QProcess>)

# m84_precompile(TARGET core|gui|core-test|gui-test)
function(m84_precompile target kind)
  if(NOT M84_PCH)
    return()
  endif()
  string(REPLACE "-test" "" base ${kind})
  set(headers ${m84_pch_${base}})
  if(kind MATCHES "-test$")
    list(APPEND headers ${m84_pch_test})
  endif()
  target_precompile_headers(${target} PRIVATE ${headers})
endfunction()

# ccache caches files compiled against a precompiled header only when told that the header's
# time stamps and macros may be taken on trust, and GCC hands it the header through the
# preprocessed text.
if(M84_PCH AND CMAKE_CXX_COMPILER_LAUNCHER MATCHES "ccache")
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    add_compile_options(-fpch-preprocess)
  elseif(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    add_compile_options(-Xclang -fno-pch-timestamp)
  endif()
endif()
