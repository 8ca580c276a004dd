"""What the extractor does with each archive of two other ZIP readers' test suites
(../shared/peer-zips): applied with exactly these files, or refused with the target
folder untouched.

The expected outcome is what those suites expect of the archive, except where our
policy differs; such a row says why, and `peer` says what the other reader does. Our
policy: an archive is applied whole or not at all; links, encrypted entries, methods
other than stored and deflated, names leaving the target folder and damaged archives
are refused; names without the UTF-8 flag are read as code page 437.

A file's content is given as its bytes, or as (size, the first 16 hex digits of its
SHA-256) when long; folders as FOLDER.
"""

FOLDER = None


def applied(files, note=None, peer=None):
    return {"applied": True, "files": files, "why": note, "peer": peer}


def refused(reason, peer=None):
    return {"applied": False, "why": reason, "peer": peer}


def digest(size, sha256_prefix):
    return (size, sha256_prefix)


ARCHIVES = {
    "go/TestBaseOffsetPlusOverflow": refused("damaged: its end record's comment runs past the end of the file"),
    "go/TestCVE202127919": refused("an entry climbs out of the target ('../test.txt')"),
    "go/TestCVE202133196": refused('damaged ZIP64 end record (2^64 - 1 entries)'),
    "go/TestCVE202139293": refused('damaged end records'),
    "go/TestCVE202141772": refused("entries with absolute names ('/', '//', '\\\\', '/test.txt')"),
    "go/TestCompressedDirectory": applied({
        'META-INF/': FOLDER,
        'META-INF/MANIFEST.MF': digest(60, "98dd2198e80d5d20"),
    }),
    "go/TestIssue10956": refused('damaged end records'),
    "go/TestIssue10957": refused('damaged end record and entries'),
    "go/TestIssue11146": refused('damaged end record; its one entry is truncated'),
    "go/TestIssue12449": applied({
        '╩dU': b'111222\n',
    }),
    "go/biggestZipBytes": applied({
        'bigger.zip': digest(18404, "20686459f6d4c462"),
    }),
    "go/comment-truncated.zip": refused("the last end record's comment runs past the end of the file"),
    "go/crc32-not-streamed.zip": applied({
        'bar.txt': b'bar\n',
        'foo.txt': b'foo\n',
    }),
    "go/dd.zip": applied({
        'filename': b'This is a test textfile.\n',
    }),
    "go/dupdir.zip": refused("'a/b' is both a file and a folder: one of them would be dropped",
        peer='Go lists the four entries (its file-system view of them fails)'),
    "go/go-no-datadesc-sig.zip": applied({
        'bar.txt': b'bar\n',
        'foo.txt': b'foo\n',
    }),
    "go/go-with-datadesc-sig.zip": applied({
        'bar.txt': b'bar\n',
        'foo.txt': b'foo\n',
    }),
    "go/gophercolor16x16.png": refused('not an archive (the content test.zip holds)'),
    "go/rZipBytes": applied({
        'r/': FOLDER,
        'r/r.zip': digest(440, "d152d368ca2da00d"),
    }),
    "go/readme.notzip": refused('not an archive'),
    "go/readme.zip": applied({
        'README': digest(1096, "d96fcb76e5604417"),
    }),
    "go/subdir.zip": applied({
        'a/': FOLDER,
        'a/b/': FOLDER,
        'a/b/c': b'',
    }),
    "go/symlink.zip": refused('holds a symbolic link entry: a patch never writes links',
        peer='Go reads the link entry'),
    "go/test-badbase.zip": refused('damaged: the end record gives the directory 90 bytes, its records take 168 (Python and bsdtar refuse it too)',
        peer='Go trusts the recorded offset and ignores the size'),
    "go/test-baddirsz.zip": refused('damaged: the end record gives the directory 152 bytes, its records take 168 (Python and bsdtar refuse it too)',
        peer='Go trusts the recorded offset and ignores the size'),
    "go/test-prefix.zip": applied({
        'gophercolor16x16.png': digest(785, "f29bb9177d08fb50"),
        'test.txt': b'This is a test text file.\n',
    }),
    "go/test-trailing-junk.zip": applied({
        'gophercolor16x16.png': digest(785, "f29bb9177d08fb50"),
        'test.txt': b'This is a test text file.\n',
    }),
    "go/test.zip": applied({
        'gophercolor16x16.png': digest(785, "f29bb9177d08fb50"),
        'test.txt': b'This is a test text file.\n',
    }),
    "go/time-22738.zip": applied({
        'file': b'',
    }),
    "go/time-7zip.zip": applied({
        'test.txt': b'',
    }),
    "go/time-go.zip": applied({
        'test.txt': b'',
    }),
    "go/time-infozip.zip": applied({
        'test.txt': b'',
    }),
    "go/time-osx.zip": applied({
        'test.txt': b'',
    }),
    "go/time-win7.zip": applied({
        'test.txt': b'',
    }),
    "go/time-winrar.zip": applied({
        'test.txt': b'',
    }),
    "go/time-winzip.zip": applied({
        'test.txt': b'',
    }),
    "go/unix.zip": applied({
        'dir/': FOLDER,
        'dir/bar': b'foo \r\n',
        'dir/empty/': FOLDER,
        'hello': b'world \r\n',
        'readonly': b'important \r\n',
    }),
    "go/utf8-7zip.zip": applied({
        '世界': b'',
    }),
    "go/utf8-infozip.zip": applied({
        '世界': b'',
    }),
    "go/utf8-osx.zip": applied({
        'Σ╕ûτòî': b'',
    }, note='the name has no UTF-8 flag, so it is read as code page 437, as the format says',
        peer="Go keeps the name's bytes (UTF-8 here)"),
    "go/utf8-winrar.zip": applied({
        '世界': b'',
    }),
    "go/utf8-winzip.zip": applied({
        '世界': b'',
    }),
    "go/winxp.zip": applied({
        'dir/': FOLDER,
        'dir/bar': b'foo \r\n',
        'dir/empty/': FOLDER,
        'hello': b'world \r\n',
        'readonly': b'important \r\n',
    }),
    "go/zip64-2.zip": applied({
        'README': b'This small file is in ZIP64 format.\n',
    }),
    "go/zip64.zip": applied({
        'README': b'This small file is in ZIP64 format.\n',
    }),
    "libarchive/test_compat_zip_1.zip": applied({
        'META-INF/': FOLDER,
        'META-INF/MANIFEST.MF': digest(113, "11c5da6f8e27b9bf"),
        'tmp.class': digest(118, "c6d29382b7b67930"),
    }),
    "libarchive/test_compat_zip_2.zip": applied({
        'file1': b'',
        'file2': b'file2\n',
    }),
    "libarchive/test_compat_zip_3.zip": applied({
        'soapui-4.0.0/': FOLDER,
        'soapui-4.0.0/soapui-settings.xml': digest(1030, "d782a4b91ed41c96"),
    }),
    "libarchive/test_compat_zip_4.zip": applied({
        'bar': b'bar\n',
        'baz': b'baz\n',
        'foo': b'foo\n',
    }),
    "libarchive/test_compat_zip_5.zip": applied({
        'Documents/': FOLDER,
        'Documents/1/': FOLDER,
        'Documents/1/FixedDocument.fdoc': digest(179, "affcb89b50c8c4af"),
        'Documents/1/Metadata/': FOLDER,
        'Documents/1/Metadata/Page1_Thumbnail.JPG': digest(1495, "69100cbda7b01bb0"),
        'Documents/1/Pages/': FOLDER,
        'Documents/1/Pages/1.fpage': digest(902, "74a225a9daa4e124"),
        'Documents/1/Pages/_rels/': FOLDER,
        'Documents/1/Pages/_rels/1.fpage.rels': digest(319, "0a6c945a2d6a9262"),
        'Documents/1/Resources/': FOLDER,
        'Documents/1/Resources/Fonts/': FOLDER,
        'Documents/1/Resources/Fonts/3DFDBC8B-4514-41F1-A808-DEA1C79BAC2B.odttf': digest(219156, "c8356969859d8c51"),
        'Documents/1/_rels/': FOLDER,
        'Documents/1/_rels/FixedDocument.fdoc.rels': digest(269, "5b643d66832b8364"),
        'FixedDocumentSequence.fdseq': digest(206, "596e4cf978d3fe8d"),
        'Metadata/': FOLDER,
        'Metadata/Job_PT.xml': digest(3559, "4a9a9d3ac20c9458"),
        'Metadata/MXDC_Empty_PT.xml': digest(456, "615ef2d3bb508db8"),
        '[Content_Types].xml': digest(743, "d736aa194cf0d08c"),
        '_rels/': FOLDER,
        '_rels/.rels': digest(441, "f7bec664f9b4d7b6"),
        '_rels/FixedDocumentSequence.fdseq.rels': digest(262, "30b1ad9cbcdd7334"),
    }),
    "libarchive/test_compat_zip_6.zip": applied({
        'New Folder/': FOLDER,
        'New Folder/New Folder/': FOLDER,
        'New Folder/New Folder/New Text Document.txt': b'some text\r\n',
    }),
    "libarchive/test_compat_zip_7.xps": applied({
        'Documents/': FOLDER,
        'Documents/1/': FOLDER,
        'Documents/1/FixedDocument.fdoc': digest(179, "affcb89b50c8c4af"),
        'Documents/1/Metadata/': FOLDER,
        'Documents/1/Metadata/Page1_Thumbnail.JPG': digest(1834, "28f6250572af380d"),
        'Documents/1/Pages/': FOLDER,
        'Documents/1/Pages/1.fpage': digest(1024, "04fb249393c5bf3e"),
        'Documents/1/Pages/_rels/': FOLDER,
        'Documents/1/Pages/_rels/1.fpage.rels': digest(319, "a598063f858d6c28"),
        'Documents/1/Resources/': FOLDER,
        'Documents/1/Resources/Fonts/': FOLDER,
        'Documents/1/Resources/Fonts/B5AE1A61-D830-441F-9D07-954F3B1B3B58.odttf': digest(17716, "137b0a04ef981534"),
        'Documents/1/_rels/': FOLDER,
        'Documents/1/_rels/FixedDocument.fdoc.rels': digest(269, "5b643d66832b8364"),
        'FixedDocumentSequence.fdseq': digest(206, "596e4cf978d3fe8d"),
        'Metadata/': FOLDER,
        'Metadata/Job_PT.xml': digest(3559, "c44ed43e93b36a50"),
        'Metadata/MXDC_Empty_PT.xml': digest(456, "615ef2d3bb508db8"),
        '[Content_Types].xml': digest(743, "d736aa194cf0d08c"),
        '_rels/': FOLDER,
        '_rels/.rels': digest(441, "f7bec664f9b4d7b6"),
        '_rels/FixedDocumentSequence.fdseq.rels': digest(262, "30b1ad9cbcdd7334"),
    }),
    "libarchive/test_compat_zip_8.zip": applied({
        'arc/': FOLDER,
        'arc/test': digest(14, "f68e37dc9cabf2ee"),
    }),
    "libarchive/test_read_data_into_fd_size_exceeds_declared_deflate.zip": refused('an entry holds more data than it records'),
    "libarchive/test_read_data_into_fd_size_exceeds_declared_stored.zip": refused('an entry holds more data than it records'),
    "libarchive/test_read_format_zip.zip": refused('file2 fails its CRC-32 check'),
    "libarchive/test_read_format_zip_7075_utf8_paths.zip": refused("the local names ('File 2 - xx.txt') differ from the central ones: which name an entry has is never guessed",
        peer='libarchive takes the names from the Unicode path fields'),
    "libarchive/test_read_format_zip_7z_deflate.zip": refused('holds a symbolic link entry: a patch never writes links',
        peer='libarchive reads the link entries'),
    "libarchive/test_read_format_zip_7z_lzma.zip": refused('an entry compressed with a method other than stored or deflated (LZMA)',
        peer='libarchive decodes LZMA'),
    "libarchive/test_read_format_zip_bz2_hang.zip": refused('a fragment without end record'),
    "libarchive/test_read_format_zip_bzip2.zipx": refused('an entry compressed with a method other than stored or deflated (bzip2)',
        peer='libarchive decodes bzip2'),
    "libarchive/test_read_format_zip_bzip2_multi.zipx": refused('an entry compressed with a method other than stored or deflated (bzip2)',
        peer='libarchive decodes bzip2'),
    "libarchive/test_read_format_zip_comment_stored_1.zip": applied({
        'build.sh': b'#!/bin/sh\necho "test."\n',
        'file0': b'',
    }),
    "libarchive/test_read_format_zip_comment_stored_2.zip": applied({
        'build.sh': b'#!/bin/sh\necho "test."\n',
        'file0': digest(81514, "6821a0c38c14be30"),
    }),
    "libarchive/test_read_format_zip_encryption_data.zip": refused('encrypted entries: a patch has no password',
        peer='libarchive decrypts with a passphrase'),
    "libarchive/test_read_format_zip_encryption_header.zip": refused('its central directory is encrypted'),
    "libarchive/test_read_format_zip_encryption_partially.zip": refused('encrypted entries: a patch has no password',
        peer='libarchive decrypts with a passphrase'),
    "libarchive/test_read_format_zip_extra_padding.zip": refused("damaged: the end record's signature lost its first byte (Python refuses it too)",
        peer='libarchive reads the entry from its local header'),
    "libarchive/test_read_format_zip_filename_cp866.zip": applied({
        '»α¿óÑΓ': digest(6, "e9d4b33858641889"),
        'ÅÉêéàÆ': digest(6, "e9d4b33858641889"),
    }, note='names without UTF-8 flag read as code page 437, as the format says',
        peer='libarchive reads them as CP866 when told'),
    "libarchive/test_read_format_zip_filename_cp932.zip": applied({
        'ò/': FOLDER,
        'ò/é╛éµ/': FOLDER,
        'ò/é╛éµ/è┐ÄÜ.txt': b'kanji',
        'ò/é╛éµ/êΩùùò/': FOLDER,
        'ò/é╛éµ/êΩùùò/.txt': b'Hello',
    }, note='names without UTF-8 flag read as code page 437, as the format says; the byte 0x5C inside a Shift-JIS character is then a folder separator',
        peer='libarchive reads them as CP932 when told'),
    "libarchive/test_read_format_zip_filename_koi8r.zip": applied({
        '≡≥Θ≈σ⌠': digest(6, "e9d4b33858641889"),
        '╨╥╔╫┼╘': digest(6, "e9d4b33858641889"),
    }, note='names without UTF-8 flag read as code page 437, as the format says',
        peer='libarchive reads them as KOI8-R when told'),
    "libarchive/test_read_format_zip_filename_utf8_jp.zip": applied({
        '表だよ/': FOLDER,
        '表だよ/一覧表.txt': b'Hello',
        '表だよ/漢字.txt': b'kanji',
    }),
    "libarchive/test_read_format_zip_filename_utf8_ru.zip": applied({
        'ПРИВЕТ': digest(6, "e9d4b33858641889"),
        'привет': digest(6, "e9d4b33858641889"),
    }),
    "libarchive/test_read_format_zip_filename_utf8_ru2.zip": applied({
        'привет': digest(6, "e9d4b33858641889"),
        '≡≥Θ≈σ⌠': digest(6, "e9d4b33858641889"),
    }, note='one name without UTF-8 flag read as code page 437, as the format says',
        peer='libarchive reads it as KOI8-R when told'),
    "libarchive/test_read_format_zip_high_compression.zip": applied({
        'char.bin': digest(262304, "b49fb375be78398a"),
    }),
    "libarchive/test_read_format_zip_jar.jar": applied({
        'somedir/': FOLDER,
    }),
    "libarchive/test_read_format_zip_length_at_end.zip": applied({
        'hello.txt': b'hello\n',
    }),
    "libarchive/test_read_format_zip_lzma.zipx": refused('an entry compressed with a method other than stored or deflated (LZMA)',
        peer='libarchive decodes LZMA'),
    "libarchive/test_read_format_zip_lzma_alone_leak.zipx": refused('a fragment without end record'),
    "libarchive/test_read_format_zip_lzma_multi.zipx": refused('an entry compressed with a method other than stored or deflated (LZMA)',
        peer='libarchive decodes LZMA'),
    "libarchive/test_read_format_zip_lzma_stream_end.zipx": refused('an entry compressed with a method other than stored or deflated (LZMA)',
        peer='libarchive decodes LZMA'),
    "libarchive/test_read_format_zip_mac_metadata.zip": applied({
        '__MACOSX/': FOLDER,
        '__MACOSX/._file3': digest(287, "5e84945b79cf80b0"),
        'file3': b'abcdefg\n',
    }),
    "libarchive/test_read_format_zip_malformed1.zip": refused('a fragment without end record'),
    "libarchive/test_read_format_zip_msdos.zip": applied({
        'abc': b'',
        'def/': FOLDER,
        'def/foo': b'',
        'ghi/': FOLDER,
        'jkl/': FOLDER,
        'mno/': FOLDER,
    }),
    "libarchive/test_read_format_zip_nested.zip": applied({
        'file.txt': digest(53, "0ee47df9c67efb1b"),
        'small.zip': digest(211, "8b81fdb05bed9647"),
    }),
    "libarchive/test_read_format_zip_nofiletype.zip": applied({
        'dir2/': FOLDER,
        'file1': b'file1\n',
    }),
    "libarchive/test_read_format_zip_padded1.zip": applied({
        'file0': b'file0\n',
        'file1': b'file1\n',
    }),
    "libarchive/test_read_format_zip_padded2.zip": applied({
        'file0': b'file0\n',
        'file1': b'file1\n',
    }),
    "libarchive/test_read_format_zip_padded3.zip": applied({
        'file0': b'file0\n',
        'file1': b'file1\n',
    }),
    "libarchive/test_read_format_zip_pkware_unix.zip": applied({
        'file1': b'hello\n',
    }),
    "libarchive/test_read_format_zip_ppmd8.zipx": refused('an entry compressed with a method other than stored or deflated (PPMd)',
        peer='libarchive decodes PPMd'),
    "libarchive/test_read_format_zip_ppmd8_aes256_streaming.zipx": refused('encrypted entries: a patch has no password',
        peer='libarchive decrypts with a passphrase'),
    "libarchive/test_read_format_zip_ppmd8_crash_1.zipx": refused('a fragment without end record'),
    "libarchive/test_read_format_zip_ppmd8_crash_2.zipx": refused('a fragment without end record'),
    "libarchive/test_read_format_zip_ppmd8_multi.zipx": refused('an entry compressed with a method other than stored or deflated (PPMd)',
        peer='libarchive decodes PPMd'),
    "libarchive/test_read_format_zip_sfx": applied({
        'build.sh': b'#!/bin/sh\necho "test."\n',
        'file0': b'',
    }),
    "libarchive/test_read_format_zip_size_exceeds_declared_deflate.zip": refused('an entry holds more data than it records'),
    "libarchive/test_read_format_zip_size_exceeds_declared_stored.zip": refused('an entry holds more data than it records'),
    "libarchive/test_read_format_zip_symlink.zip": refused('holds a symbolic link entry: a patch never writes links',
        peer='libarchive reads the link entry'),
    "libarchive/test_read_format_zip_symlink_unsupported_compression.zip": refused('holds a symbolic link entry: a patch never writes links; its method is unsupported too'),
    "libarchive/test_read_format_zip_traditional_encryption_data.zip": refused('encrypted entries: a patch has no password',
        peer='libarchive decrypts with a passphrase'),
    "libarchive/test_read_format_zip_uncompressed_size_off_by_4gib.zip": refused("an entry's recorded size is 4 GiB off its data"),
    "libarchive/test_read_format_zip_ux.zip": applied({
        'file1': b'hello\nhello\nhello\n',
    }),
    "libarchive/test_read_format_zip_winzip_aes128.zip": refused('encrypted entries: a patch has no password',
        peer='libarchive decrypts with a passphrase'),
    "libarchive/test_read_format_zip_winzip_aes256.zip": refused('encrypted entries: a patch has no password',
        peer='libarchive decrypts with a passphrase'),
    "libarchive/test_read_format_zip_winzip_aes256_large.zip": refused('encrypted entries: a patch has no password',
        peer='libarchive decrypts with a passphrase'),
    "libarchive/test_read_format_zip_winzip_aes256_large_bzip2.zip": refused('encrypted entries: a patch has no password',
        peer='libarchive decrypts with a passphrase'),
    "libarchive/test_read_format_zip_winzip_aes256_large_lzma.zip": refused('encrypted entries: a patch has no password',
        peer='libarchive decrypts with a passphrase'),
    "libarchive/test_read_format_zip_winzip_aes256_large_ppmd.zip": refused('encrypted entries: a patch has no password',
        peer='libarchive decrypts with a passphrase'),
    "libarchive/test_read_format_zip_winzip_aes256_large_xz.zip": refused('encrypted entries: a patch has no password',
        peer='libarchive decrypts with a passphrase'),
    "libarchive/test_read_format_zip_winzip_aes256_large_zstd.zip": refused('encrypted entries: a patch has no password',
        peer='libarchive decrypts with a passphrase'),
    "libarchive/test_read_format_zip_winzip_aes256_stored.zip": refused('encrypted entries: a patch has no password',
        peer='libarchive decrypts with a passphrase'),
    "libarchive/test_read_format_zip_with_invalid_traditional_eocd.zip": applied({
        'test1.txt': b'',
        'test2.txt': b'',
    }),
    "libarchive/test_read_format_zip_xz_multi.zipx": refused('an entry compressed with a method other than stored or deflated (xz)',
        peer='libarchive decodes xz'),
    "libarchive/test_read_format_zip_zip64a.zip": applied({
        '-': b'file0\n',
    }),
    "libarchive/test_read_format_zip_zip64b.zip": applied({
        '-': b'file0\n',
    }),
    "libarchive/test_read_format_zip_zipx_lzma_oom.zipx": refused('a fragment without end record'),
    "libarchive/test_read_format_zip_zstd.zipx": refused('an entry compressed with a method other than stored or deflated (Zstandard)',
        peer='libarchive decodes Zstandard'),
    "libarchive/test_read_format_zip_zstd_multi.zipx": refused('an entry compressed with a method other than stored or deflated (Zstandard)',
        peer='libarchive decodes Zstandard'),
}

def listed(entries):
    return {"listed": entries}


# Archives inside an applied archive, each tried from what the step before unpacked.
# Go's entry of 4 GiB - 1 bytes without a ZIP64 field sits two levels down; it is
# listed, not unpacked (that would write 4 GiB).
NESTED = {
    "go/biggestZipBytes": [
        ("bigger.zip", applied({"big.zip": digest(4174513, "799dc211961d4c09")})),
        ("big.zip", listed([(4294967295, "big.file")])),
    ],
}
