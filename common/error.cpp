#include "common/error.h"

#include <cerrno>
#include <cstring>

std::string FileErrorReason(int err) {
  switch (err) {
    case ENOSPC:
#ifdef EDQUOT  // no disk quotas on Windows
    case EDQUOT:
#endif
      return "нет места на диске";
    case EACCES:
    case EPERM:
      return "нет прав на запись";
    case EROFS:
      return "диск только для чтения";
    case ENOENT:
    case ENOTDIR:
      return "папка недоступна";
    case EFBIG:
      return "файл слишком большой";
    default:
      return std::strerror(err);
  }
}

std::string FileReadErrorText(int err) {
  switch (err) {
    case ENOENT:
    case ENOTDIR:
      return "Файл не найден.";
    case EACCES:
    case EPERM:
      return "Нет прав на чтение файла.";
    case EISDIR:
      return "Это папка, а не файл.";
    default:
      return std::string("Ошибка чтения файла: ") + std::strerror(err) + ".";
  }
}
