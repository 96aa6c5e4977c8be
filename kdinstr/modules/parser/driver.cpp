#include "kdinstr/modules/parser/driver.hpp"

namespace kdinstr::modules::parser {

// Placeholder until the grammar lands: every text is refused.
std::expected<void, utils::Error> extend_module_from_string(Module&, types::TypeRegistry&,
                                                            std::string_view) {
    return std::unexpected(utils::Error{utils::Error::ParserErrors{}});
}

}  // namespace kdinstr::modules::parser
