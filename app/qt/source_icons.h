#pragma once

#include <QIcon>
#include <QString>
#include <QVector>

namespace plyfold::gui {

// A picture of the program's resources by file name ("merge.svg").
QIcon programIcon(const QString& fileName);

// The six small icons of the source list, in the order of their indexes: 1 workbook, 2 folder,
// 3 path not found, 4 text file, 5 comma-separated file, 6 dBASE table.
QVector<QIcon> sourceListIcons();

}  // namespace plyfold::gui
