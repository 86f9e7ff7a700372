// The framework's growable array and its invalid-argument error. Portable: the port list lives in the
// core, and a bad index must raise the same error on the host as in the .exe.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <utility>
#include <vector>

class CInvalidArgException : public std::invalid_argument {
public:
    CInvalidArgException() : std::invalid_argument("遇到无效参数。") {}
};

[[noreturn]] inline void AfxThrowInvalidArgException() { throw CInvalidArgException(); }

template <class TYPE, class ARG_TYPE>
class CArray {
public:
    std::ptrdiff_t GetSize() const { return static_cast<std::ptrdiff_t>(items.size()); }

    std::ptrdiff_t Add(ARG_TYPE item)
    {
        items.push_back(item);
        return GetSize() - 1;
    }
    void RemoveAt(std::ptrdiff_t index)
    {
        CheckIndex(index);
        items.erase(items.begin() + index);
    }
    void RemoveAll() { std::vector<TYPE>().swap(items); }

    TYPE& ElementAt(std::ptrdiff_t index)
    {
        CheckIndex(index);
        return items[static_cast<std::size_t>(index)];
    }
    const TYPE& GetAt(std::ptrdiff_t index) const
    {
        CheckIndex(index);
        return items[static_cast<std::size_t>(index)];
    }
    TYPE& operator[](std::ptrdiff_t index) { return ElementAt(index); }
    const TYPE& operator[](std::ptrdiff_t index) const { return GetAt(index); }

private:
    void CheckIndex(std::ptrdiff_t index) const
    {
        if (index < 0 || index >= GetSize()) AfxThrowInvalidArgException();
    }

    std::vector<TYPE> items;
};
