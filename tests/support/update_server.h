#pragma once
// An update server's tree made from the builder's output: what the network run fetches.
#include <string>

namespace kx_test {

// From the DVD masters below `masters` (disk_0/, disk_1/... each holding `product`/),
// writes below `out_root` (ending in "/") the folder `product`/ with
// "directory.txt.zip" and one ".zip" per file of the list. The builder's zip archives
// are taken as they are; a global-scenery ".7z" is unpacked by bsdtar and packed again
// by Info-ZIP. Returns an empty text, or what went wrong.
std::string make_update_server_tree(const std::string& masters, const std::string& product,
                                    const std::string& out_root);

}  // namespace kx_test
