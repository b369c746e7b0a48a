#include "src/util/exception_text.hpp"

#include <exception>
#include <new>

#include "src/util/unicode.hpp"

namespace vantrel {

std::string describe_current_exception() {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return "mémoire insuffisante";
    } catch (const std::exception& fault) {
        // Library descriptions are not promised to be UTF-8.
        return "erreur inattendue : " + decode_utf8_lossy(fault.what());
    } catch (...) {
        return "erreur inattendue";
    }
}

}  // namespace vantrel
