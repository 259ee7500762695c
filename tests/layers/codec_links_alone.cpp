// SPDX-License-Identifier: MIT
// Linked with every object of vza_codec and nothing else: if a codec source
// ever calls into archive/ (or anything above), this program fails to link.
int main()
{
    return 0;
}
