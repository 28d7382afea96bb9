#pragma once

namespace imaging {

/// A running imaging library, held from the dialog's initialisation to its
/// closing. The library itself starts once per process (on the first session)
/// and is shut down by ShutdownLibrary() when the process ends; ending a session
/// drops the library's caches, so a closed dialog holds no decoded pixels.
class LibrarySession {
public:
    /// Starts the library if needed; check ok() for the outcome.
    LibrarySession();
    ~LibrarySession();
    LibrarySession(const LibrarySession&) = delete;
    LibrarySession& operator=(const LibrarySession&) = delete;

    bool ok() const { return m_ok; }

private:
    bool m_ok;
};

/// Lets only the loaders of the photos decoded in this process run: the
/// others read other files, start programs or interpret documents; drawings
/// and pictures decoded whole go to the decoder process. The first session
/// does this.
void AllowOnlyInProcessLoaders();

/// Keeps no finished operations for reuse, within a running library: a kept
/// operation holds its input, its pixels and its open file (a batch of 200
/// photos held 40 MiB more; the window kept each turned output it wrote).
void KeepNoOperations();

/// Shuts the library down for good; call once, at process end.
void ShutdownLibrary();

}  // namespace imaging
