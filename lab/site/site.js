// Page objects of the cloud-disk site: messages, selection, service addresses, menus.
(function () {
    'use strict';

    // Turns the text of a service reply into an object.
    String.prototype.evalExp = function () {
        return JSON.parse(String(this));
    };

    var hideTimer = null;
    function tip(text, kind) {
        var box = $('#tips');
        box.removeClass('error success').addClass(kind || '').text(String(text)).show();
        clearTimeout(hideTimer);
        hideTimer = setTimeout(function () { box.hide(); }, 3000);
    }

    var menuManager = {
        hideAll: function () { $('.menu').hide(); },
        closeAll: function () { $('.menu').hide(); }
    };

    window.yunpan = {
        tips: {
            show: function (text) { tip(text, ''); },
            error: function (text) { tip(text, 'error'); },
            success: function (text) { tip(text, 'success'); },
            hide: function () { $('#tips').hide(); }
        },
        fo: {
            getSelectFile: function () { return $('#listHolder #list li.selected').toArray(); }
        },
        config: {
            url: { f_down: '/file/download', getList: '/file/getList' }
        },
        menuManager: menuManager
    };

    $(function () {
        var list = $('#listHolder #list');
        // Click selects one entry, ctrl-click adds to the selection.
        list.on('click', 'li', function (e) {
            if (!e.ctrlKey && !e.metaKey)
                list.children('li').removeClass('selected');
            $(this).toggleClass('selected', e.ctrlKey || e.metaKey ? undefined : true);
        });
        list.on('dblclick', 'li.dir', function () {
            window.location.href = $(this).find('a.name').attr('href');
        });
        list.on('contextmenu', 'li', function (e) {
            e.preventDefault();
            if (!$(this).hasClass('selected')) {
                list.children('li').removeClass('selected');
                $(this).addClass('selected');
            }
            $('#x-yp-3').css({ left: e.pageX, top: e.pageY }).show();
        });
        $(document).on('click', function (e) {
            if (!$(e.target).closest('#x-yp-3').length)
                menuManager.hideAll();
        });
        $('#x-yp-3 .menu-open').on('click', function () {
            menuManager.hideAll();
            var dir = list.children('li.selected.dir').first();
            if (dir.length)
                window.location.href = dir.find('a.name').attr('href');
        });
        $('#x-yp-3 .menu-download, #x-yp-3 .menu-share').on('click', function () {
            menuManager.hideAll();
            yunpan.tips.show('请使用客户端下载');
        });
        $('#tbNew, #tbUpload').on('click', function () {
            yunpan.tips.show('此功能暂未开放');
        });
    });
})();
