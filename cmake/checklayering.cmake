# Fails when a source of the core library includes a widgets header or a file of
# the windows' folder. Run at build time: cmake -DCORE_DIR=... -P checklayering.cmake
file(GLOB_RECURSE sources "${CORE_DIR}/*.h" "${CORE_DIR}/*.cpp")
set(widgets "QAbstractButton|QAction|QApplication|QBoxLayout|QCheckBox|QComboBox|QDialog|QFileDialog|QFormLayout|QFrame|QGridLayout|QHBoxLayout|QHeaderView|QLabel|QLayout|QLineEdit|QMainWindow|QMenu|QMenuBar|QMessageBox|QProgressBar|QPushButton|QRadioButton|QScrollArea|QSlider|QSpinBox|QStatusBar|QStyle|QTableView|QToolTip|QVBoxLayout|QWidget")
set(bad "")
foreach(source IN LISTS sources)
  file(STRINGS "${source}" lines REGEX "^[ \t]*#[ \t]*include")
  foreach(line IN LISTS lines)
    if(line MATCHES "[<\"]QtWidgets/" OR line MATCHES "[<\"](${widgets})[>\"]"
       OR line MATCHES "\"ui/" OR line MATCHES "ui_[a-z]+\\.h")
      file(RELATIVE_PATH rel "${CORE_DIR}/.." "${source}")
      list(APPEND bad "${rel}: ${line}")
    endif()
  endforeach()
endforeach()
if(bad)
  list(JOIN bad "\n  " text)
  message(FATAL_ERROR "core/ must not include widgets or ui/:\n  ${text}")
endif()
