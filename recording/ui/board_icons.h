#pragma once

#include <QIcon>

// The speed buttons' pictures, drawn rather than loaded so they stay sharp at any scale.
QIcon newRecordIcon();  // a sheet with a red cross: close the data
QIcon saveIcon();       // a floppy disk
QIcon openIcon();       // an opened folder
QIcon printIcon();      // a printer with a sheet
