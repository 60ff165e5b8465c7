// The exception raised when a bitmap cannot be loaded.
#pragma once

#include <exception>

class CDIBException : public std::exception {
public:
    // Causes. Only resourceMissing is raised: the "DIB" resource could not be
    // found or loaded.
    enum { none = 0, resourceMissing = 5 };

    explicit CDIBException(int cause) : m_cause(cause) {}

    const char* what() const noexcept override {
        return m_cause == resourceMissing ? "bitmap resource not found" : "bitmap error";
    }

    int m_cause;
};
