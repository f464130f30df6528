// The extraction component's exception family.
#pragma once

#include "platform/exception.h"

namespace unzip {

class EZipException : public platform::Exception {
public:
    using platform::Exception::Exception;
};
class EIncompleteZip : public EZipException {
public:
    using EZipException::EZipException;
};
class ENotAZipFile : public EZipException {
public:
    using EZipException::EZipException;
};
class EBadZipFile : public EZipException {
public:
    using EZipException::EZipException;
};
class EUserCanceled : public EZipException {
public:
    using EZipException::EZipException;
};
class EFatalUnzipError : public EZipException {
public:
    using EZipException::EZipException;
};
class ECantWriteUCF : public EZipException {
public:
    using EZipException::EZipException;
};
class EZDecompressionError : public EZipException {
public:
    using EZipException::EZipException;
};
class EBiggerThanUncompressed : public EZipException {
public:
    using EZipException::EZipException;
};
class ECanceledUnzipToBuffer : public EZipException {
public:
    using EZipException::EZipException;
};

// The general list error (index out of bounds, duplicates, sorted put).
class EListError : public platform::Exception {
public:
    using platform::Exception::Exception;
};

}  // namespace unzip
