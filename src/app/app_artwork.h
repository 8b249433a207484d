#pragma once
// The program's own small pictures, drawn at run time so the installation
// needs no image files.
#include <QIcon>

QIcon TrayArtwork();      // a turnstile: post and three arms
QPixmap TrayArtworkAt(int size); // the same at any size (the executable's icon)
QIcon ConnectArtwork();   // green plug
QIcon DisconnectArtwork(); // red cross
QIcon CloseArtwork();     // door with an arrow leaving it

// The tray picture with a dot telling the state: none (waiting), green
// (synchronised), red (failing), grey (disconnected).
enum class TrayBadge { None, Green, Red, Grey };
QIcon TrayArtwork(TrayBadge badge);
