#include "common/error.h"

#include <cerrno>
#include <cstring>

std::string SystemErrorText(int err) {
  switch (err) {
    case ENAMETOOLONG:
      return "слишком длинное имя";
    case ELOOP:
      return "слишком много символических ссылок в пути";
    case EIO:
      return "ошибка ввода-вывода";
    case ENOMEM:
      return "не хватает памяти";
    case EMFILE:
    case ENFILE:
      return "открыто слишком много файлов";
    case EINVAL:
      return "недопустимое имя или параметр";
    case EEXIST:
      return "уже существует";
    case ETXTBSY:
    case EBUSY:
      return "занято другой программой";
    case EISDIR:
      return "это папка, а не файл";
    case ENOTDIR:
      return "часть пути не является папкой";
    case EBADF:
      return "файл или порт уже закрыт";
    default: {
      const char* text = std::strerror(err);
      return text && *text ? text : "неизвестная ошибка системы";
    }
  }
}

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
      return SystemErrorText(err);
  }
}

std::string FileReadReason(int err) {
  switch (err) {
    case ENOENT:
      return "файл не найден";
    case EACCES:
    case EPERM:
      return "нет прав на чтение файла";
    default:
      return SystemErrorText(err);
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
      return "Ошибка чтения файла: " + SystemErrorText(err) + ".";
  }
}
