#pragma once
// Backup of the data folder into the one archive and its restore: the two
// commands of the main window's tool menu. Both show their own boxes.
namespace fm {

// Puts every file of AppDir\Data\ into AppDir\DataBack\DataBackup.zip.
void DataBackup();
// Writes the archive's files back into AppDir\Data\, after a Yes/No question.
void DataRestore();

} // namespace fm
