// Puts the given arguments after a program name in the runtime's argument vector, which every
// command-line query reads at the moment of the call, for the life of the object.
#pragma once

#include <cstdlib>
#include <vector>

class Arguments {
public:
    explicit Arguments(const std::vector<const char*>& arguments)
        : m_savedCount(__argc), m_savedVector(__argv), m_vector{"-game.exe"} {
        m_vector.insert(m_vector.end(), arguments.begin(), arguments.end());
        m_vector.push_back(nullptr);
        __argc = int(m_vector.size() - 1);
        __argv = const_cast<char**>(m_vector.data());
    }
    ~Arguments() {
        __argc = m_savedCount;
        __argv = m_savedVector;
    }
    Arguments(const Arguments&) = delete;
    Arguments& operator=(const Arguments&) = delete;

private:
    int m_savedCount;
    char** m_savedVector;
    std::vector<const char*> m_vector;
};
